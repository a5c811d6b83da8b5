#include "browse/dialogs/folder_reader.h"

#include <cstring>

namespace {
// Entries a folder is read without help: most folders end within them, and
// for those a thread would cost more than it saves.
constexpr size_t kReadAlone = 256;
// Entries the worker gathers before it hands them over.
constexpr size_t kBatch = 128;

HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA& out) {
    wchar_t wide[MAX_PATH];
    WIN32_FIND_DATAW found;
    if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide, MAX_PATH)) return INVALID_HANDLE_VALUE;
    HANDLE find = FindFirstFileW(wide, &found);
    if (find != INVALID_HANDLE_VALUE) FolderReader::ToCodePage(found, out);
    return find;
}

bool FindNext(HANDLE find, WIN32_FIND_DATAA& out) {
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(find, &found)) return false;
    FolderReader::ToCodePage(found, out);
    return true;
}
}  // namespace

void FolderReader::ToCodePage(const WIN32_FIND_DATAW& in, WIN32_FIND_DATAA& out) {
    out.dwFileAttributes = in.dwFileAttributes;
    out.ftCreationTime = in.ftCreationTime;
    out.ftLastAccessTime = in.ftLastAccessTime;
    out.ftLastWriteTime = in.ftLastWriteTime;
    out.nFileSizeHigh = in.nFileSizeHigh;
    out.nFileSizeLow = in.nFileSizeLow;
    out.dwReserved0 = in.dwReserved0;
    out.dwReserved1 = in.dwReserved1;
    BOOL lost = FALSE;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.cFileName, -1, out.cFileName, MAX_PATH, nullptr,
                             &lost)) {
        lstrcpyA(out.cFileName, "?");
        lost = TRUE;
    }
    const size_t length = std::strlen(out.cFileName);
    // The system drops a trailing dot or space from every path it is given.
    if (lost || (length && (out.cFileName[length - 1] == '.' || out.cFileName[length - 1] == ' ')))
        out.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
    BOOL shortLost = FALSE;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.cAlternateFileName, -1, out.cAlternateFileName,
                             sizeof out.cAlternateFileName, nullptr, &shortLost) ||
        shortLost)
        out.cAlternateFileName[0] = '\0';
}

FolderReader::FolderReader(const char* pattern) : find_(FindFirst(pattern, taken_[0])) {
    if (!find_.valid()) {
        taken_.clear();
        atEnd_ = true;
    }
}

FolderReader::~FolderReader() {
    // The worker ends before the search it reads is closed.
    if (!worker_) return;
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
}

bool FolderReader::Next(WIN32_FIND_DATAA& out) {
    if (next_ == taken_.size()) Refill();
    if (next_ == taken_.size()) return false;
    out = taken_[next_++];
    return true;
}

void FolderReader::Refill() {
    taken_.clear();
    next_ = 0;
    if (worker_) {
        AcquireSRWLockExclusive(&lock_);
        while (handed_.empty() && !workerDone_) SleepConditionVariableSRW(&arrived_, &lock_, INFINITE, 0);
        taken_.swap(handed_);
        ReleaseSRWLockExclusive(&lock_);
        return;
    }
    if (atEnd_) return;
    WIN32_FIND_DATAA found;
    while (taken_.size() < kReadAlone) {
        if (!FindNext(find_.get(), found)) {
            atEnd_ = true;
            return;
        }
        taken_.push_back(found);
    }
    // A large folder: the rest is read ahead while these are listed. When
    // no thread can be had, the reading goes on here.
    worker_ = CreateThread(nullptr, 0, ReadAhead, this, 0, nullptr);
}

DWORD WINAPI FolderReader::ReadAhead(void* self) {
    FolderReader& reader = *static_cast<FolderReader*>(self);
    std::vector<WIN32_FIND_DATAA> batch;
    batch.reserve(kBatch);
    WIN32_FIND_DATAA found;
    for (bool more = true; more;) {
        more = !reader.stop_ && FindNext(reader.find_.get(), found);
        if (more) batch.push_back(found);
        if (more && batch.size() < kBatch) continue;
        AcquireSRWLockExclusive(&reader.lock_);
        reader.handed_.insert(reader.handed_.end(), batch.begin(), batch.end());
        reader.workerDone_ = !more;
        ReleaseSRWLockExclusive(&reader.lock_);
        WakeConditionVariable(&reader.arrived_);
        batch.clear();
    }
    return 0;
}
