#include "album/param_stream.h"

#include <cstdio>
#include <cstring>

#include "album/album_memory.h"
#include "browse/user_prompt.h"

namespace {
constexpr char kLoadMemText[] = "ズブのメモリロードでエラーが発生しました。 ParamNo:";
constexpr char kSaveMemText[] = "ズブのメモリセーブでエラーが発生しました。 ParamNo:";
constexpr char kReadText[] = "ズブのロードでエラーが発生しました。 ParamNo:";
constexpr char kWriteText[] = "ズブのセーブでエラーが発生しました。 ParamNo:";
constexpr char kLoadMemCaption[] = "LoadMem Error Contetns";
constexpr char kSaveCaption[] = "Save Error Contetns";

// Shows the first failure of an operation; later ones only keep going.
void ReportRecordError(uint32_t& error, const char* text, uint32_t paramNo, uint32_t keyword,
                       bool hexadecimal, const char* caption) {
    if (error) return;
    error = 1;
    char message[256];
    std::snprintf(message, sizeof message, hexadecimal ? "%s%u  Keyword:%x" : "%s%u  Keyword:%u", text,
                  paramNo, keyword);
    ShowMessage(nullptr, message, caption, MB_OK);
}

uint32_t RecordWord(const uint8_t* record, int index) {
    uint32_t value;
    std::memcpy(&value, record + index * 4, 4);
    return value;
}
}  // namespace

int ParamStream::Add(std::unique_ptr<ZubParam> param) {
    param->offset = static_cast<int>(totalSize_);
    totalSize_ += static_cast<uint32_t>(param->Size());
    params_.push_back(std::move(param));
    return 1;
}

int ParamStream::InitAll(void* block) {
    int result = 1;
    for (auto& param : params_) {
        if (!param->Init(block)) result = 0;
    }
    return result;
}

int ParamStream::ReleaseAll(void* block) {
    for (auto& param : params_) {
        if (!param->Release(block)) return 0;
    }
    return 1;
}

uint32_t ParamStream::StoredSizeAll(void* block) {
    uint32_t total = 0;
    for (auto& param : params_) total += param->StoredSize(block);
    return total;
}

int ParamStream::FindParam(uint32_t keyword) const {
    if (keyword == 0 || keyword == kHeaderCatchAll || keyword == kPageCatchAll) return -1;
    for (size_t i = 0; i < params_.size(); ++i) {
        if (params_[i]->Keyword() == keyword) return static_cast<int>(i);
    }
    return -1;
}

int ParamStream::SaveMem(HGLOBAL& handle, uint32_t& size, void* block, uint32_t& error) {
    for (size_t i = 0; i < params_.size(); ++i) {
        if (!params_[i]->SaveMem(handle, size, block)) {
            ReportRecordError(error, kSaveMemText, static_cast<uint32_t>(i), params_[i]->Keyword(), false,
                              kSaveCaption);
        }
    }
    uint32_t counted = size;
    const uint32_t end = kMemRecordsEnd;
    if (!AppendMemBytes(handle, size, &end, 4)) error = 1;
    size = counted;
    return 1;
}

int ParamStream::LoadMem(const uint8_t* records, void* block, uint32_t& error) {
    for (const uint8_t* record = records;; record += RecordWord(record, 1) + 8) {
        uint32_t keywordWord = RecordWord(record, 0);
        if (keywordWord == kMemRecordsEnd) break;
        if (keywordWord & kFileOnly) continue;
        uint32_t keyword = keywordWord & kKeywordMask;
        if (keyword == kHeaderCatchAll || keyword == kPageCatchAll) continue;
        int match = FindParam(keyword);
        if (match >= 0) {
            if (!params_[match]->LoadMem(record, block)) {
                ReportRecordError(error, kLoadMemText, static_cast<uint32_t>(match), keywordWord, true,
                                  kLoadMemCaption);
            }
            continue;
        }
        for (size_t i = 0; i < params_.size(); ++i) {
            if (!params_[i]->IsCatchAll()) continue;
            if (!params_[i]->LoadMem(record, block)) {
                ReportRecordError(error, kLoadMemText, static_cast<uint32_t>(i), keywordWord, false,
                                  kSaveCaption);
            }
        }
    }
    return 1;
}

int ParamStream::ReadRecord(RecordReader& file, void* block, uint32_t keywordWord, uint32_t& error) {
    uint32_t keyword = keywordWord & kKeywordMask;
    if (keyword == kHeaderCatchAll || keyword == kPageCatchAll) {
        uint32_t size = 0;
        if (file.ReadU32(size)) file.Skip(size);
        return 1;
    }
    int match = FindParam(keyword);
    if (match >= 0) {
        if (!params_[match]->ReadRecord(file, block)) {
            ReportRecordError(error, kReadText, static_cast<uint32_t>(match), keyword, true, kSaveCaption);
        }
        return 1;
    }
    bool kept = false;
    for (size_t i = 0; i < params_.size(); ++i) {
        if (!params_[i]->IsCatchAll()) continue;
        kept = true;
        if (auto* catchAll = dynamic_cast<BlockParam*>(params_[i].get()))
            catchAll->pendingKeywordWord = keywordWord;
        if (!params_[i]->ReadRecord(file, block)) {
            ReportRecordError(error, kReadText, static_cast<uint32_t>(i), keyword, false, kSaveCaption);
        }
    }
    if (!kept) {
        // A stream without a catch-all still steps over the record's body.
        uint32_t size = 0;
        if (file.ReadU32(size)) file.Skip(size);
    }
    return 1;
}

int ParamStream::WriteRecord(RecordWriter& file, void* block, uint32_t& error) {
    for (size_t i = 0; i < params_.size(); ++i) {
        if (!params_[i]->WriteRecord(file, block)) {
            ReportRecordError(error, kWriteText, static_cast<uint32_t>(i), params_[i]->Keyword(), false,
                              kSaveCaption);
        }
    }
    return 1;
}

OwnedParamStream::~OwnedParamStream() {
    if (block_) {
        // The header's texts and kept records live outside the block.
        ReleaseAll(block_);
        FreeAlbumBlock(block_);
    }
}

int OwnedParamStream::Add(std::unique_ptr<ZubParam> param) {
    ZubParam* added = param.get();
    ParamStream::Add(std::move(param));
    void* grown = ReallocAlbumBlock(block_, TotalSize());
    if (!grown) return 0;
    block_ = grown;
    added->Init(block_);
    return 1;
}

int OwnedParamStream::Reset() {
    int released = ReleaseAll(block_);
    int initialised = InitAll(block_);
    return released == 1 && initialised == 1 ? 1 : 0;
}
