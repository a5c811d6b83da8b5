#include "browse/dialogs/folder_reader.h"

#include <utility>

namespace {
// Entries a folder is read without help: most folders end within them, and
// for those a thread would cost more than it saves.
constexpr size_t kReadAlone = 256;
// Entries the worker gathers before it hands them over.
constexpr size_t kBatch = 128;
}  // namespace

FolderReader::FolderReader(const char* pattern) {
    taken_.resize(1);
    find_ = FindFirstFileA(pattern, &taken_[0]);
    if (find_ == INVALID_HANDLE_VALUE) {
        taken_.clear();
        atEnd_ = true;
    }
}

FolderReader::~FolderReader() {
    if (worker_) {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(worker_, INFINITE);
        CloseHandle(worker_);
    }
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
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
        if (!FindNextFileA(find_, &found)) {
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
    bool more = true;
    while (more && !reader.stop_) {
        more = FindNextFileA(reader.find_, &found) != 0;
        if (more) batch.push_back(found);
        if (batch.size() < kBatch && more) continue;
        AcquireSRWLockExclusive(&reader.lock_);
        if (reader.handed_.empty()) {
            reader.handed_.swap(batch);
        } else {
            reader.handed_.insert(reader.handed_.end(), batch.begin(), batch.end());
        }
        reader.workerDone_ = !more;
        ReleaseSRWLockExclusive(&reader.lock_);
        WakeConditionVariable(&reader.arrived_);
        batch.clear();
        batch.reserve(kBatch);
    }
    AcquireSRWLockExclusive(&reader.lock_);
    reader.workerDone_ = true;
    ReleaseSRWLockExclusive(&reader.lock_);
    WakeConditionVariable(&reader.arrived_);
    return 0;
}
