// The param family: each param describes one field of a record block (a
// plain block of pointer-sized words, one per field) by its type, its keyword and
// its offset, and moves that field to and from memory records and file
// records. An album's layout is therefore data: a new field is one more
// param, and records the reader does not know are kept by a BlockParam.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "album/record_file.h"
#include "album/zub_core.h"

// A record block's word holds an integer, a string's address or a handle, so
// it is pointer-sized: 4 bytes in the 32-bit program, 8 in the 64-bit one.
// No word reaches a file as it is: integers are written as 32 bits, strings
// as their text.
using BlockWord = uintptr_t;
constexpr int kBlockWordSize = static_cast<int>(sizeof(BlockWord));

// Bits of a keyword word.
constexpr uint32_t kKeywordMask = 0x00FFFFFF;
constexpr uint32_t kFileOnly = 0x80000000;
// The catch-all keywords: 127 in the album header, 255 in the page template.
constexpr uint32_t kHeaderCatchAll = 127;
constexpr uint32_t kPageCatchAll = 255;

enum ParamType : int { kBaseParam = 0, kIntParam = 1, kStringParam = 2, kHandleParam = 3 };

class ZubParam {
public:
    ZubParam() = default;
    ZubParam(const ZubParam&) = delete;
    ZubParam& operator=(const ZubParam&) = delete;

    // The virtual operations, in their fixed order. An operation a type does
    // not support returns 0 and changes nothing.
    virtual int Type() const { return kBaseParam; }
    virtual int Size() const { return 0; }
    virtual int Reserved(void* block);
    virtual int Release(void* block);
    virtual BlockWord GetHandle(void* block, BlockWord* out);
    virtual const char* GetString(void* block, char* out);
    virtual int GetInt(void* block, int* out);
    virtual int SetHandle(void* block, BlockWord value);
    virtual int SetString(void* block, const char* text);
    virtual int SetInt(void* block, int value);
    // record points at one memory record (keyword word, size, body).
    virtual int LoadMem(const uint8_t* record, void* block);
    // Appends this param's record to the movable block handle, of which size
    // bytes are used; both are updated.
    virtual int SaveMem(HGLOBAL& handle, uint32_t& size, void* block);
    // Reads the rest of one record after its keyword word.
    virtual int ReadRecord(RecordReader& file, void* block);
    virtual int WriteRecord(RecordWriter& file, void* block);
    virtual int Init(void* block);
    virtual uint32_t StoredSize(void* block);
    virtual ~ZubParam() = default;

    uint32_t Keyword() const { return keywordWord & kKeywordMask; }
    bool IsCatchAll() const { return Keyword() == kHeaderCatchAll || Keyword() == kPageCatchAll; }

    int offset = -1;           // position of the word in a record block
    uint32_t keywordWord = 0;  // keyword in bits 0-23, file-only flag in bit 31

protected:
    BlockWord& Word(void* block) const { return static_cast<BlockWord*>(block)[offset / kBlockWordSize]; }
};

// A 32-bit integer.
class IntParam : public ZubParam {
public:
    int Type() const override { return kIntParam; }
    int Size() const override { return kBlockWordSize; }
    int Release(void* block) override;
    int GetInt(void* block, int* out) override;
    int SetInt(void* block, int value) override;
    int LoadMem(const uint8_t* record, void* block) override;
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block) override;
    int ReadRecord(RecordReader& file, void* block) override;
    int WriteRecord(RecordWriter& file, void* block) override;
    int Init(void* block) override;
    uint32_t StoredSize(void* block) override;
};

// A handle or address held in memory only: memory records carry it in a
// pointer-sized body.
class HandleParam : public ZubParam {
public:
    int Type() const override { return kHandleParam; }
    int Size() const override { return kBlockWordSize; }
    int Release(void* block) override;
    BlockWord GetHandle(void* block, BlockWord* out) override;
    int SetHandle(void* block, BlockWord value) override;
    int LoadMem(const uint8_t* record, void* block) override;
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block) override;
    int ReadRecord(RecordReader& file, void* block) override;
    int WriteRecord(RecordWriter& file, void* block) override;
    int Init(void* block) override;
    uint32_t StoredSize(void* block) override;
};

// The locked header block of a picture (a thumbnail); 0 none, 1 no picture
// could be made. Its pixel block lives in the linked HandleParam, and both
// are freed together.
class DibHandleParam : public HandleParam {
public:
    explicit DibHandleParam(HandleParam* bits) : bits_(bits) {}
    int Release(void* block) override;

private:
    HandleParam* bits_;
};

// A heap string, never null after Init.
class StringParam : public ZubParam {
public:
    int Type() const override { return kStringParam; }
    int Size() const override { return kBlockWordSize; }
    int Release(void* block) override;
    const char* GetString(void* block, char* out) override;
    int SetString(void* block, const char* text) override;
    int LoadMem(const uint8_t* record, void* block) override;
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block) override;
    int ReadRecord(RecordReader& file, void* block) override;
    int WriteRecord(RecordWriter& file, void* block) override;
    int Init(void* block) override;
    uint32_t StoredSize(void* block) override;

protected:
    // Replaces the string by a heap copy of length bytes of text.
    bool Replace(void* block, const char* text, size_t length);
};

// A full path; the linked IntParam receives the offset of its file name.
// Files carry it relative to the base directory when the two share at least
// their drive root, so an album moved together with its pictures stays valid.
class PathParam : public StringParam {
public:
    explicit PathParam(IntParam* nameOffset) : nameOffset_(nameOffset) {}
    int LoadMem(const uint8_t* record, void* block) override;
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block) override;
    int ReadRecord(RecordReader& file, void* block) override;
    int WriteRecord(RecordWriter& file, void* block) override;
    uint32_t StoredSize(void* block) override;

    // Expands path (GetFullPathNameA) and stores it with its file-name offset;
    // 0, changing nothing, when it cannot be expanded within MAX_PATH bytes.
    int SetPath(void* block, const char* path);
    // base must end in a separator (or be empty: paths are then absolute).
    void SetBaseDirectory(const char* base);
    const char* BaseDirectory() const { return base_; }
    // The text WriteRecord writes, and its flag: 0 relative, 1 absolute.
    std::string StoredText(void* block, uint32_t& flag) const;

private:
    // The flag-and-text body of a record: joins it to the base directory when
    // relative and stores the expansion; 0 when that does not fit MAX_PATH.
    int StoreRecordText(void* block, uint32_t flag, const char* text, size_t length);

    IntParam* nameOffset_;
    char base_[MAX_PATH] = "";
    size_t baseLength_ = 0;
};

// The catch-all: keeps every record no other param claims, unchanged, in one
// locked block whose byte size lives in the linked IntParam.
class BlockParam : public ZubParam {
public:
    explicit BlockParam(IntParam* size) : size_(size) {}
    int Type() const override { return kHandleParam; }
    int Size() const override { return kBlockWordSize; }
    int Release(void* block) override;
    int LoadMem(const uint8_t* record, void* block) override;
    int SaveMem(HGLOBAL& handle, uint32_t& size, void* block) override;
    int ReadRecord(RecordReader& file, void* block) override;
    int WriteRecord(RecordWriter& file, void* block) override;
    int Init(void* block) override;
    uint32_t StoredSize(void* block) override;

    // The whole keyword word of the record about to be read from a file.
    uint32_t pendingKeywordWord = 0;

private:
    // Grows the kept block by extra bytes; the address where they go, or null.
    uint8_t* Grow(void* block, uint32_t extra);

    IntParam* size_;
};

// Appends raw bytes to a movable memory record block (size bytes used).
bool AppendMemBytes(HGLOBAL& handle, uint32_t& size, const void* data, uint32_t length);
