#include "image/thumbnail_prefetch.h"

#include <atomic>
#include <cstring>
#include <new>

#include "image/dib_image.h"
#include "image/dib_resample.h"
#include "image/exif_reader.h"
#include "image/jpeg_decoder.h"
#include "image/picture_name.h"
#include "image/thumbnail_image.h"
#include "image/transforms.h"

bool IsPrefetchableName(const char* path) {
    // The same test as the reader dispatch, which tries its JPEG reader first.
    const char* extension = LoaderExtensionOf(path);
    return extension && (SameExtension(extension, "jpg") || SameExtension(extension, "jpeg"));
}

namespace {
// Which of the decode's buffers fails to be allocated (1 the first), as
// tests ask; 0 leaves every allocation to the allocator.
std::atomic<int> failingAllocation{0};
std::atomic<int> allocations{0};

void SizeBuffer(std::vector<BYTE>& buffer, size_t bytes) {
    if (failingAllocation && ++allocations == failingAllocation) throw std::bad_alloc();
    buffer.assign(bytes, 0);
}

bool PrepareOrThrow(const char* path, int size, const DisplayOptions& options, PreparedThumbnail* out) {
    PictureInfo info{};
    if (size < 1 || !ReadJpegInfo(path, 1, &info, 0)) return false;
    const int denominator = JpegScaleFor(info.width, info.height, 2 * size);
    if (denominator != 1 && !ReadJpegInfo(path, denominator, &info, 0)) return false;
    const int components = info.colorDepth / 8;
    if (info.width <= 0 || info.height <= 0 || (components != 1 && components != 3)) return false;
    BITMAPINFOHEADER fields{};
    fields.biWidth = info.width;
    fields.biHeight = info.height;
    fields.biBitCount = WORD(info.colorDepth);
    const uint64_t decodedBytes = DibPixelBytes(fields);
    if (decodedBytes > kMaxDibPixelBytes) return false;
    std::vector<BYTE> decoded;
    SizeBuffer(decoded, size_t(decodedBytes));
    PictureMeta meta;
    if (DecodeJpegUnreported(path, denominator, decoded.data(), decoded.size(), 0, &meta) != kJpegDone)
        return false;

    const size_t decodedStride = size_t(DibStride(info.colorDepth, info.width));
    std::vector<BYTE> colour;
    const BYTE* source = decoded.data();
    size_t sourceStride = decodedStride;
    if (components == 1) {
        // Grey rows become blue-green-red triples, as the grey table of the
        // user-interface thread's decode would make them.
        sourceStride = size_t(DibStride(24, info.width));
        SizeBuffer(colour, sourceStride * size_t(info.height));
        for (int y = 0; y < info.height; ++y) {
            const BYTE* grey = decoded.data() + size_t(y) * decodedStride;
            BYTE* row = colour.data() + size_t(y) * sourceStride;
            for (int x = 0; x < info.width; ++x) std::memset(row + 3 * x, grey[x], 3);
        }
        source = colour.data();
    }
    // Turned upright before it is shrunk, as the user-interface thread's
    // build turns the decoded picture, so both give the same pixels.
    int width = info.width, height = int(info.height);
    std::vector<BYTE> upright;
    if (const int turn = options.uprightByExif ? OrientationForExif(meta.exifOrientation) : 0) {
        if (OrientationSwapsSides(turn)) std::swap(width, height);
        const size_t uprightStride = size_t(DibStride(24, width));
        SizeBuffer(upright, uprightStride * size_t(height));
        OrientPixelRows(source, info.width, int(info.height), sourceStride, false, 3, turn, upright.data(),
                        uprightStride);
        source = upright.data();
        sourceStride = uprightStride;
    }
    if (options.manageColours)
        ManageColourRows(meta.iccProfile, options.displayProfile, const_cast<BYTE*>(source), width, height,
                         sourceStride, 24);
    const ThumbnailExtent extent = ThumbnailExtentFor(width, height, size);
    out->width = extent.width;
    out->height = extent.height;
    out->bitCount = info.colorDepth;
    const size_t stride = size_t(DibStride(24, extent.width));
    SizeBuffer(out->pixels, stride * size_t(extent.height));
    const PixelRows24 from{const_cast<BYTE*>(source), width, height, sourceStride, true};
    const PixelRows24 to{out->pixels.data(), extent.width, extent.height, stride, false};
    ResampleArea24(from, to);
    return true;
}
}  // namespace

bool PrepareJpegThumbnail(const char* path, int size, const DisplayOptions& options, PreparedThumbnail* out) {
    // It runs on workers, where an exception that leaves the thread ends
    // the program: memory that runs out is a failed decode, as it is on
    // the interface thread.
    try {
        return PrepareOrThrow(path, size, options, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void FailThumbnailAllocation(int nth) {
    allocations = 0;
    failingAllocation = nth;
}

ThumbnailPrefetch::ThumbnailPrefetch(int workers) {
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

ThumbnailPrefetch::~ThumbnailPrefetch() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        entries_.clear();
        order_.clear();
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

int ThumbnailPrefetch::DefaultWorkers() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 1 ? int(system.dwNumberOfProcessors) - 1 : 0;
}

void ThumbnailPrefetch::Queue(const std::vector<Job>& jobs, int size) {
    if (workers_.empty()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        // A job asked for again keeps its place, its decode in progress and
        // its result; every other entry goes.
        std::map<int, Entry> kept;
        for (const Job& job : jobs) {
            auto found = entries_.find(job.index);
            if (found != entries_.end() && found->second.path == job.path && found->second.size == size &&
                found->second.options == PictureDisplayOptions()) {
                kept[job.index] = std::move(found->second);
                continue;
            }
            Entry& entry = kept[job.index];
            entry.path = job.path;
            entry.size = size;
            entry.options = PictureDisplayOptions();
            entry.ticket = nextTicket_++;
        }
        entries_ = std::move(kept);
        order_.clear();
        for (const Job& job : jobs)
            if (entries_[job.index].state == State::Queued) order_.push_back(job.index);
    }
    changed_.notify_all();
}

void ThumbnailPrefetch::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.clear();
    order_.clear();
}

int ThumbnailPrefetch::Pending() {
    std::lock_guard<std::mutex> hold(lock_);
    return int(entries_.size());
}

bool ThumbnailPrefetch::Take(int index, const char* path, PreparedThumbnail* out) {
    std::unique_lock<std::mutex> hold(lock_);
    auto found = entries_.find(index);
    if (found == entries_.end()) return false;
    // A result made under options since changed is stale as well.
    if (found->second.path != path || found->second.state == State::Queued ||
        !(found->second.options == PictureDisplayOptions())) {
        entries_.erase(found);  // the worker skips an index it no longer finds
        return false;
    }
    const uint64_t ticket = found->second.ticket;
    changed_.wait(hold, [&] {
        auto entry = entries_.find(index);
        return entry == entries_.end() || entry->second.ticket != ticket ||
               entry->second.state == State::Done;
    });
    found = entries_.find(index);
    if (found == entries_.end() || found->second.ticket != ticket) return false;
    const bool ok = found->second.ok;
    if (ok) *out = std::move(found->second.result);
    entries_.erase(found);
    return ok;
}

void ThumbnailPrefetch::Work() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || !order_.empty(); });
        if (stopping_) return;
        const int index = order_.front();
        order_.pop_front();
        auto found = entries_.find(index);
        if (found == entries_.end() || found->second.state != State::Queued) continue;
        found->second.state = State::Running;
        const std::string path = found->second.path;
        const int size = found->second.size;
        const DisplayOptions options = found->second.options;
        const uint64_t ticket = found->second.ticket;
        hold.unlock();
        PreparedThumbnail result;
        const bool ok = PrepareJpegThumbnail(path.c_str(), size, options, &result);
        hold.lock();
        found = entries_.find(index);
        if (found != entries_.end() && found->second.ticket == ticket) {
            found->second.state = State::Done;
            found->second.ok = ok;
            found->second.result = std::move(result);
        }
        changed_.notify_all();
    }
}
