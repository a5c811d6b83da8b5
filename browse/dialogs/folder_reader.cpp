#include "browse/dialogs/folder_reader.h"

namespace {
// Entries a folder is read without help: most folders end within them, and
// for those a thread would cost more than it saves.
constexpr size_t kReadAlone = 256;
// Entries the worker gathers before it hands them over.
constexpr size_t kBatch = 128;
}  // namespace

FolderReader::FolderReader(const char* pattern) : find_(FindFirstFileA(pattern, taken_.data())) {
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
        if (!FindNextFileA(find_.get(), &found)) {
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
        more = !reader.stop_ && FindNextFileA(reader.find_.get(), &found);
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
