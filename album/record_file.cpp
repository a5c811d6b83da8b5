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

RecordReader::RecordReader(HANDLE file) : file_(file) {
    LARGE_INTEGER size{}, here{}, zero{};
    if (GetFileSizeEx(file, &size) && SetFilePointerEx(file, zero, &here, FILE_CURRENT)) {
        position_ = static_cast<uint64_t>(here.QuadPart);
        end_ = std::max(position_, static_cast<uint64_t>(size.QuadPart));
    }
    bufferStart_ = position_;
}

bool RecordReader::Fill() {
    buffer_.resize(kBufferSize);
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position_);
    DWORD got = 0;
    if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) ||
        !ReadFile(file_, buffer_.data(), kBufferSize, &got, nullptr) || got == 0) {
        bufferLength_ = 0;
        return false;
    }
    bufferStart_ = position_;
    bufferLength_ = got;
    return true;
}

bool RecordReader::Read(void* out, uint32_t size) {
    if (size > Remaining()) {
        position_ = end_;
        return false;
    }
    auto target = static_cast<uint8_t*>(out);
    while (size > 0) {
        if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_) {
            uint32_t offset = static_cast<uint32_t>(position_ - bufferStart_);
            uint32_t take = std::min(size, bufferLength_ - offset);
            std::memcpy(target, buffer_.data() + offset, take);
            target += take;
            size -= take;
            position_ += take;
        } else if (!Fill()) {
            position_ = end_;
            return false;
        }
    }
    return true;
}

bool RecordReader::Skip(uint32_t size) {
    if (size > Remaining()) {
        position_ = end_;
        return false;
    }
    position_ += size;
    return true;
}

uint32_t RecordReader::PeekAt(uint64_t position, void* out, uint32_t size) {
    position_ = std::min(position, end_);
    uint64_t left = end_ - position_;
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(size, left));
    uint64_t keep = position_;
    if (!Read(out, take)) take = 0;
    position_ = keep;
    return take;
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
