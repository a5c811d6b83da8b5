// An ordered list of params that describes one kind of record block, and
// moves a block's values to and from records. Records are matched to params
// by keyword, never by position: records may come in any order, records of
// unknown keywords go to the stream's catch-all, and params without a record
// keep their defaults.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "album/record_file.h"
#include "album/zub_param.h"

// The end word of a memory record sequence.
constexpr uint32_t kMemRecordsEnd = 0xFFFFFFFF;

class ParamStream {
public:
    ParamStream() = default;
    virtual ~ParamStream() = default;
    ParamStream(const ParamStream&) = delete;
    ParamStream& operator=(const ParamStream&) = delete;

    // Appends param (the stream owns it) at the end of the record block.
    virtual int Add(std::unique_ptr<ZubParam> param);

    // Makes a param, sets its keyword word, adds it, and returns it.
    template <class P, class... Args>
    P* Register(uint32_t keywordWord, Args&&... args) {
        auto param = std::make_unique<P>(std::forward<Args>(args)...);
        P* raw = param.get();
        raw->keywordWord = keywordWord;
        Add(std::move(param));
        return raw;
    }

    int InitAll(void* block);
    int ReleaseAll(void* block);
    uint32_t StoredSizeAll(void* block);

    // The record operations report failures by setting error to 1 (with a
    // message box for the first one) and always return 1.
    // Appends one record per param to the movable block handle (size bytes
    // used), then the end word, which size does not count.
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block, uint32_t& error);
    // Reads a memory record sequence up to its end word.
    int LoadMem(const uint8_t* records, void* block, uint32_t& error);
    // Reads one file record whose keyword word was just read.
    int ReadRecord(RecordReader& file, void* block, uint32_t keywordWord, uint32_t& error);
    int WriteRecord(RecordWriter& file, void* block, uint32_t& error);

    uint32_t Count() const { return static_cast<uint32_t>(params_.size()); }
    uint32_t TotalSize() const { return totalSize_; }
    ZubParam* Param(uint32_t paramNo) const { return params_[paramNo].get(); }

private:
    // The first param with this keyword (bits 0-23), or -1. Keyword 0 and the
    // catch-all keywords never name a param.
    int FindParam(uint32_t keyword) const;

    std::vector<std::unique_ptr<ZubParam>> params_;
    uint32_t totalSize_ = 0;
};

// A stream that also owns the one record block it describes (the album
// header).
class OwnedParamStream : public ParamStream {
public:
    OwnedParamStream() = default;
    ~OwnedParamStream() override;

    // Adds the param, grows the owned block and gives the new field its
    // default value.
    int Add(std::unique_ptr<ZubParam> param) override;
    // Every field back to its default; 1 when all went well.
    int Reset();
    void* Block() const { return block_; }

private:
    void* block_ = nullptr;
};
