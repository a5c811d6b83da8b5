#include "album/record_file.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kBufferSize = 64 * 1024;

uint64_t& WriteLimit() {
    static uint64_t limit = UINT64_MAX;
    return limit;
}
}  // namespace

void LimitRecordWrites(uint64_t bytes) {
    WriteLimit() = bytes;
}

FileRecordSource::FileRecordSource(HANDLE file) : file_(file) {
    LARGE_INTEGER size{}, here{}, zero{};
    if (GetFileSizeEx(file, &size) && SetFilePointerEx(file, zero, &here, FILE_CURRENT)) {
        fileStart_ = static_cast<uint64_t>(here.QuadPart);
        fileEnd_ = std::max(fileStart_, static_cast<uint64_t>(size.QuadPart));
    }
}

uint32_t FileRecordSource::ReadAt(uint64_t position, uint8_t* out, uint32_t size) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position);
    DWORD got = 0;
    if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) || !ReadFile(file_, out, size, &got, nullptr))
        return 0;
    return got;
}

RecordWriter::RecordWriter(HANDLE file) : RecordWriter(file, WriteLimit()) {}

RecordWriter::RecordWriter(HANDLE file, uint64_t limit) : file_(file), limit_(limit) {
    buffer_.reserve(kBufferSize);
}

bool RecordWriter::Write(const void* data, uint32_t size) {
    if (failed_) return false;
    if (buffer_.size() + size > kBufferSize && !Flush()) return false;
    auto bytes = static_cast<const uint8_t*>(data);
    if (size >= kBufferSize) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return Flush();
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

bool RecordWriter::Flush() {
    if (failed_) return false;
    if (buffer_.empty()) return true;
    uint64_t allowed = limit_ - written_;
    DWORD toWrite = static_cast<DWORD>(std::min<uint64_t>(buffer_.size(), allowed));
    DWORD done = 0;
    const bool refused = toWrite > 0 && !WriteFile(file_, buffer_.data(), toWrite, &done, nullptr);
    written_ += refused ? 0 : done;
    if (refused || done != buffer_.size()) {
        failed_ = true;
        // A write that took fewer bytes than it was given found the disk
        // full; a refused one has left its own reason.
        if (!refused) SetLastError(ERROR_DISK_FULL);
        return false;
    }
    buffer_.clear();
    return true;
}
