#include "image/picture_read_ahead.h"

#include <algorithm>
#include <cstring>

#include "image/dib_image.h"
#include "image/dib_resample.h"
#include "image/picture_pipeline.h"
#include "image/transforms.h"

namespace {
bool SameKey(const PictureReadAhead::Key& a, const PictureReadAhead::Key& b) {
    return a.orientation == b.orientation && a.display == b.display &&
           lstrcmpiA(a.path.c_str(), b.path.c_str()) == 0;
}

bool FileFacts(const std::string& path, uint64_t* size, FILETIME* written) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    *written = data.ftLastWriteTime;
    return true;
}

// The picture as the viewer shows it: a 24-bit bottom-up DIB section, made
// here so that the key press only hands it over.
HBITMAP MakeSection(const BITMAPINFOHEADER& header, const BYTE* pixels, uint64_t* bytes) {
    const int width = header.biWidth, rows = DibRows(header);
    BITMAPINFO info{};
    info.bmiHeader = Dib24Header(width, rows);
    void* bits = nullptr;
    HBITMAP section = info.bmiHeader.biSizeImage
                          ? CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                          : nullptr;
    if (!section) return nullptr;
    const size_t stride = size_t(DibStride(24, width));
    for (int y = 0; y < rows; ++y) {
        const int from = header.biHeight < 0 ? rows - 1 - y : y;
        std::memcpy(static_cast<BYTE*>(bits) + stride * size_t(y), pixels + stride * size_t(from), stride);
    }
    *bytes = info.bmiHeader.biSizeImage;
    return section;
}
}  // namespace

PictureReadAhead::PictureReadAhead(uint64_t capBytes) : cap_(capBytes), worker_([this] { Work(); }) {}

PictureReadAhead::~PictureReadAhead() {
    {
        std::unique_lock<std::mutex> hold(lock_);
        stopping_ = true;
        abandonRunning_ = true;
        for (Entry& entry : entries_) entry.wanted = false;
    }
    changed_.notify_all();
    worker_.join();
    for (Entry& entry : entries_) Free(entry);
}

void PictureReadAhead::Free(Entry& entry) {
    if (entry.picture) DeleteObject(entry.picture);
    if (entry.fitted) DeleteObject(entry.fitted);
    entry.picture = entry.fitted = nullptr;
}

void PictureReadAhead::Want(const std::vector<Key>& wanted, FitFor fitFor) {
    {
        std::unique_lock<std::mutex> hold(lock_);
        fitFor_ = std::move(fitFor);
        for (auto it = entries_.begin(); it != entries_.end();) {
            const bool keep = std::any_of(wanted.begin(), wanted.end(),
                                          [&](const Key& key) { return SameKey(key, it->key); });
            if (keep || it->state == State::Running) {
                it->wanted = keep;
                if (!keep) abandonRunning_ = true;
                ++it;
                continue;
            }
            held_ -= it->bytes;
            Free(*it);
            it = entries_.erase(it);
        }
        for (const Key& key : wanted) {
            const bool present = std::any_of(entries_.begin(), entries_.end(),
                                             [&](const Entry& entry) { return SameKey(key, entry.key); });
            if (!present) entries_.push_back(Entry{key});
        }
        // Nearest first: the queue follows the order asked for.
        entries_.sort([&](const Entry& a, const Entry& b) {
            auto rank = [&](const Entry& e) {
                return std::find_if(wanted.begin(), wanted.end(),
                                    [&](const Key& k) { return SameKey(k, e.key); }) -
                       wanted.begin();
            };
            return rank(a) < rank(b);
        });
    }
    changed_.notify_all();
}

int PictureReadAhead::Take(const Key& key, HBITMAP* picture, int* bitCount, HBITMAP* fitted) {
    Entry taken;
    {
        std::unique_lock<std::mutex> hold(lock_);
        auto find = [&] {
            return std::find_if(entries_.begin(), entries_.end(),
                                [&](const Entry& entry) { return SameKey(key, entry.key) && entry.wanted; });
        };
        auto it = find();
        if (it == entries_.end()) return 0;
        if (it->state == State::Queued) {
            // Not started: the caller's own load is no slower.
            entries_.erase(it);
            return 0;
        }
        changed_.wait(hold, [&] { return find() == entries_.end() || find()->state == State::Done; });
        it = find();
        if (it == entries_.end()) return 0;
        taken = *it;
        held_ -= it->bytes;
        entries_.erase(it);
    }
    uint64_t size = 0;
    FILETIME written{};
    if (!taken.picture || !FileFacts(taken.key.path, &size, &written) || size != taken.fileSize ||
        CompareFileTime(&written, &taken.writeTime) != 0) {
        // Failed, or changed on disk since: loaded afresh.
        Free(taken);
        return 0;
    }
    *picture = taken.picture;
    *bitCount = taken.bitCount;
    if (fitted) {
        *fitted = taken.fitted;
    } else if (taken.fitted) {
        DeleteObject(taken.fitted);
    }
    std::unique_lock<std::mutex> hold(lock_);
    ++hits_;
    return 1;
}

void PictureReadAhead::Read(Entry& entry, uint64_t room, const FitFor& fitFor) {
    if (!FileFacts(entry.key.path, &entry.fileSize, &entry.writeTime)) return;
    HLOCAL header = nullptr, pixels = nullptr;
    // A turn holds the picture twice for a moment; it must fit as well.
    const uint64_t limit = entry.key.orientation != 0 ? room / 2 : room;
    if (!LoadDisplayPictureUnreported(entry.key.path.c_str(), entry.key.display, limit, &header, &pixels,
                                      &abandonRunning_))
        return;
    LockedDib dib(header, pixels);
    if (!dib) return;
    entry.bitCount = dib.header->biBitCount;
    if (entry.key.orientation != 0 &&
        !ApplyOrientation(nullptr, dib.header, dib.pixels, entry.key.orientation))
        return;
    if (dib.header->biBitCount != 24 && !ConvertDibTo24(nullptr, dib.header, dib.pixels)) return;
    entry.picture = MakeSection(*dib.header, dib.pixels, &entry.bytes);
    if (!entry.picture || !fitFor) return;
    // The fit pass the first paint would make, from the same pixels.
    const SIZE fit = fitFor(SIZE{dib.header->biWidth, DibRows(*dib.header)});
    BITMAPINFO info{};
    info.bmiHeader = Dib24Header(fit.cx, fit.cy);
    void* bits = nullptr;
    if (fit.cx < 1 || fit.cy < 1 || info.bmiHeader.biSizeImage == 0 ||
        entry.bytes + info.bmiHeader.biSizeImage > room)
        return;
    entry.fitted = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    DIBSECTION shown{};
    if (entry.fitted && GetObjectA(entry.picture, sizeof shown, &shown) != sizeof shown) {
        DeleteObject(entry.fitted);
        entry.fitted = nullptr;
    }
    if (!entry.fitted) return;
    ResampleArea24(PixelRows24{static_cast<BYTE*>(shown.dsBm.bmBits), shown.dsBm.bmWidth, shown.dsBm.bmHeight,
                               size_t(shown.dsBm.bmWidthBytes), false},
                   PixelRows24{static_cast<BYTE*>(bits), fit.cx, fit.cy, size_t(DibStride(24, fit.cx)), false});
    entry.bytes += info.bmiHeader.biSizeImage;
}

void PictureReadAhead::Work() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [&] {
            return stopping_ || std::any_of(entries_.begin(), entries_.end(),
                                            [](const Entry& e) { return e.state == State::Queued; });
        });
        if (stopping_) return;
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [](const Entry& e) { return e.state == State::Queued; });
        it->state = State::Running;
        abandonRunning_ = false;
        Entry work = *it;
        const uint64_t room = cap_ > held_ ? cap_ - held_ : 0;
        const FitFor fitFor = fitFor_;
        hold.unlock();
        Read(work, room, fitFor);
        hold.lock();
        ++readsDone_;
        // The entry is still in the list: only this thread erases running ones.
        it->picture = work.picture;
        it->fitted = work.fitted;
        it->bitCount = work.bitCount;
        it->fileSize = work.fileSize;
        it->writeTime = work.writeTime;
        it->bytes = work.bytes;
        it->state = State::Done;
        if (!it->wanted || held_ + it->bytes > cap_) {
            Free(*it);
            entries_.erase(it);
        } else {
            held_ += it->bytes;
            peak_ = std::max(peak_, held_);
        }
        changed_.notify_all();
    }
}

void PictureReadAhead::SetCap(uint64_t capBytes) {
    std::unique_lock<std::mutex> hold(lock_);
    cap_ = capBytes;
    // The list runs nearest first; a running read checks the cap when it ends.
    for (auto it = entries_.end(); held_ > cap_ && it != entries_.begin();) {
        --it;
        if (it->state != State::Done) continue;
        held_ -= it->bytes;
        Free(*it);
        it = entries_.erase(it);
    }
}

uint64_t PictureReadAhead::HeldBytes() {
    std::unique_lock<std::mutex> hold(lock_);
    return held_;
}

uint64_t PictureReadAhead::PeakBytes() {
    std::unique_lock<std::mutex> hold(lock_);
    return peak_;
}

int PictureReadAhead::ReadsDone() {
    std::unique_lock<std::mutex> hold(lock_);
    return readsDone_;
}

int PictureReadAhead::Hits() {
    std::unique_lock<std::mutex> hold(lock_);
    return hits_;
}

int PictureReadAhead::Pending() {
    std::unique_lock<std::mutex> hold(lock_);
    return int(std::count_if(entries_.begin(), entries_.end(),
                             [](const Entry& e) { return e.state != State::Done; }));
}
