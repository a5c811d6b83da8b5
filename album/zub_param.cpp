#include "album/zub_param.h"

#include "image/dib_image.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "album/album_memory.h"
#include "album/relative_path.h"
#include "browse/file_utils.h"
#include "image/dib_image.h"

namespace {
uint32_t RecordWord(const uint8_t* record, int index) {
    uint32_t value;
    std::memcpy(&value, record + index * 4, 4);
    return value;
}

bool AppendWords(HGLOBAL& handle, uint32_t& size, uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t words[3] = {a, b, c};
    return AppendMemBytes(handle, size, words, sizeof words);
}

bool WriteWords(RecordWriter& file, uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t words[3] = {a, b, c};
    return file.Write(words, sizeof words);
}

// A memory record of text: keyword word, body size, then prefix words and
// the text with its terminator, zero-padded to a multiple of 4.
bool AppendTextRecord(HGLOBAL& handle, uint32_t& size, uint32_t keywordWord, const char* text,
                      bool withFlag) {
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    uint32_t padded = (length + 1 + 3) & ~3u;
    std::vector<uint8_t> record(8 + (withFlag ? 4 : 0) + padded, 0);
    uint32_t body = padded + (withFlag ? 4 : 0);
    std::memcpy(record.data(), &keywordWord, 4);
    std::memcpy(record.data() + 4, &body, 4);
    uint8_t* textAt = record.data() + 8;
    if (withFlag) {
        const uint32_t absolute = 1;
        std::memcpy(textAt, &absolute, 4);
        textAt += 4;
    }
    std::memcpy(textAt, text, length);
    return AppendMemBytes(handle, size, record.data(), static_cast<uint32_t>(record.size()));
}
}  // namespace

bool AppendMemBytes(HGLOBAL& handle, uint32_t& size, const void* data, uint32_t length) {
    HGLOBAL grown = handle ? ReallocMovableBlock(handle, size + length) : AllocMovableBlock(size + length);
    if (!grown) return false;
    handle = grown;
    auto bytes = static_cast<uint8_t*>(GlobalLock(handle));
    if (!bytes) return false;
    std::memcpy(bytes + size, data, length);
    GlobalUnlock(handle);
    size += length;
    return true;
}

// The base param: every operation is unsupported.
int ZubParam::Reserved(void*) {
    return 0;
}
int ZubParam::Release(void*) {
    return 0;
}
BlockWord ZubParam::GetHandle(void*, BlockWord*) {
    return 0;
}
const char* ZubParam::GetString(void*, char*) {
    return nullptr;
}
int ZubParam::GetInt(void*, int*) {
    return 0;
}
int ZubParam::SetHandle(void*, BlockWord) {
    return 0;
}
int ZubParam::SetString(void*, const char*) {
    return 0;
}
int ZubParam::SetInt(void*, int) {
    return 0;
}
int ZubParam::LoadMem(const uint8_t*, void*) {
    return 0;
}
int ZubParam::SaveMem(HGLOBAL&, uint32_t&, void*) {
    return 0;
}
int ZubParam::ReadRecord(RecordReader&, void*) {
    return 0;
}
int ZubParam::WriteRecord(RecordWriter&, void*) {
    return 0;
}
int ZubParam::Init(void*) {
    return 0;
}
uint32_t ZubParam::StoredSize(void*) {
    return 0;
}

// IntParam
int IntParam::Release(void*) {
    return 1;
}
int IntParam::GetInt(void* block, int* out) {
    int value = static_cast<int>(static_cast<uint32_t>(Word(block)));
    if (out) *out = value;
    return value;
}
int IntParam::SetInt(void* block, int value) {
    Word(block) = static_cast<uint32_t>(value);
    return 1;
}
int IntParam::LoadMem(const uint8_t* record, void* block) {
    if ((RecordWord(record, 0) & kKeywordMask) != Keyword() || RecordWord(record, 1) != 4) return 0;
    Word(block) = RecordWord(record, 2);
    return 1;
}
int IntParam::SaveMem(HGLOBAL& handle, uint32_t& size, void* block) {
    if (Keyword() == 0) return 1;
    return AppendWords(handle, size, keywordWord, 4, static_cast<uint32_t>(Word(block))) ? 1 : 0;
}
int IntParam::ReadRecord(RecordReader& file, void* block) {
    uint32_t value = 0;
    if (!ReadIntRecord(file, &value)) return 0;
    Word(block) = value;
    return 1;
}
int IntParam::WriteRecord(RecordWriter& file, void* block) {
    if (Keyword() == 0) return 1;
    return WriteWords(file, keywordWord, 4, static_cast<uint32_t>(Word(block))) ? 1 : 0;
}
int IntParam::Init(void* block) {
    Word(block) = 0;
    return 1;
}
uint32_t IntParam::StoredSize(void*) {
    return Keyword() == 0 ? 0 : 12;
}

// HandleParam
int HandleParam::Release(void*) {
    return 1;
}
BlockWord HandleParam::GetHandle(void* block, BlockWord* out) {
    if (out) *out = Word(block);
    return Word(block);
}
int HandleParam::SetHandle(void* block, BlockWord value) {
    Word(block) = value;
    return 1;
}
int HandleParam::LoadMem(const uint8_t* record, void* block) {
    if ((RecordWord(record, 0) & kKeywordMask) != Keyword() || RecordWord(record, 1) != sizeof(BlockWord))
        return 0;
    std::memcpy(&Word(block), record + 8, sizeof(BlockWord));
    return 1;
}
int HandleParam::SaveMem(HGLOBAL& handle, uint32_t& size, void* block) {
    if (Keyword() == 0) return 1;
    const uint32_t head[2] = {keywordWord, static_cast<uint32_t>(sizeof(BlockWord))};
    const BlockWord value = Word(block);
    return AppendMemBytes(handle, size, head, sizeof head) &&
                   AppendMemBytes(handle, size, &value, sizeof value)
               ? 1
               : 0;
}
// A handle means something only inside the process that made it: handles
// travel in memory records but never reach a file, and one found in a file
// is stepped over.
int HandleParam::ReadRecord(RecordReader& file, void*) {
    return SkipRecord(file) ? 1 : 0;
}
int HandleParam::WriteRecord(RecordWriter&, void*) {
    return 1;
}
int HandleParam::Init(void* block) {
    Word(block) = 0;
    return 1;
}
uint32_t HandleParam::StoredSize(void*) {
    return 0;
}

// DibHandleParam: the thumbnail builder makes its pictures in album blocks.
int DibHandleParam::Release(void* block) {
    BlockWord header = Word(block);
    if (header != 0 && header != 1) {
        BlockWord bits = bits_ ? bits_->GetHandle(block, nullptr) : 0;
        // Thumbnails live in album blocks, so that the album's count of live
        // blocks proves a cleared album gave its thumbnails back.
        for (BlockWord address : {header, bits}) FreeAlbumBlock(reinterpret_cast<void*>(address));
    }
    Word(block) = 0;
    if (bits_) bits_->SetHandle(block, 0);
    return 1;
}

// StringParam. Every empty string is one shared constant, so that a
// released string holds no memory: a page or header block can be freed after
// its Release without leaking the empty value Release leaves behind.
namespace {
const char kEmptyText[1] = "";

void FreeText(BlockWord word) {
    auto text = reinterpret_cast<char*>(word);
    if (text != kEmptyText) FreeHeapString(text);
}
}  // namespace

bool StringParam::Replace(void* block, const char* text, size_t length) {
    const char* copy = length == 0 ? kEmptyText : NewHeapString(text, length);
    if (!copy) return false;
    FreeText(Word(block));
    Word(block) = reinterpret_cast<BlockWord>(copy);
    return true;
}
int StringParam::Release(void* block) {
    return Replace(block, "", 0) ? 1 : 0;
}
const char* StringParam::GetString(void* block, char* out) {
    auto text = reinterpret_cast<const char*>(Word(block));
    // out holds MAX_PATH bytes, as every caller's buffer does; a longer text
    // is cut there rather than written past it.
    if (out && text) lstrcpynA(out, text, MAX_PATH);
    return text;
}
int StringParam::SetString(void* block, const char* text) {
    return Replace(block, text, std::strlen(text)) ? 1 : 0;
}
int StringParam::LoadMem(const uint8_t* record, void* block) {
    if ((RecordWord(record, 0) & kKeywordMask) != Keyword()) return 0;
    auto text = reinterpret_cast<const char*>(record + 8);
    return Replace(block, text, strnlen(text, RecordWord(record, 1))) ? 1 : 0;
}
int StringParam::SaveMem(HGLOBAL& handle, uint32_t& size, void* block) {
    if (Keyword() == 0) return 1;
    return AppendTextRecord(handle, size, keywordWord, reinterpret_cast<const char*>(Word(block)), false) ? 1
                                                                                                          : 0;
}
int StringParam::ReadRecord(RecordReader& file, void* block) {
    std::string text;
    if (!ReadTextRecord(file, &text)) return 0;
    return Replace(block, text.c_str(), text.size()) ? 1 : 0;
}
int StringParam::WriteRecord(RecordWriter& file, void* block) {
    auto text = reinterpret_cast<const char*>(Word(block));
    if (Keyword() == 0 || !text || !text[0]) return 1;
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    const uint32_t head[2] = {keywordWord, length + 1};
    return file.Write(head, sizeof head) && file.Write(text, length + 1) ? 1 : 0;
}
int StringParam::Init(void* block) {
    Word(block) = 0;
    return Replace(block, "", 0) ? 1 : 0;
}
uint32_t StringParam::StoredSize(void* block) {
    auto text = reinterpret_cast<const char*>(Word(block));
    if (Keyword() == 0 || !text || !text[0]) return 0;
    return static_cast<uint32_t>(std::strlen(text)) + 1 + 8;
}

// PathParam
int PathParam::SetPath(void* block, const char* path) {
    char full[MAX_PATH];
    const char* expanded = path;
    size_t length;
    int nameOffset;
    if (IsPlainFullPath(path)) {
        // Already full and plain ASCII: its own expansion, and its last
        // separator can be found without stepping over double-byte characters.
        length = std::strlen(path);
        nameOffset = static_cast<int>(std::strrchr(path, '\\') + 1 - path);
    } else {
        length = ExpandPath(path, full);
        if (length == 0) return 0;
        expanded = full;
        nameOffset = static_cast<int>(FileNamePart(full) - full);
    }
    if (!Replace(block, expanded, length)) return 0;
    if (nameOffset_) nameOffset_->SetInt(block, nameOffset);
    return 1;
}

void PathParam::SetBaseDirectory(const char* base) {
    size_t length = strnlen(base, MAX_PATH - 1);
    std::memcpy(base_, base, length);
    base_[length] = '\0';
    baseLength_ = length;
}

int PathParam::StoreRecordText(void* block, uint32_t flag, const char* text, size_t length) {
    if (length >= MAX_PATH) return 0;
    if (flag != 0 && length == 0) {
        // An empty absolute path (an album that had no file yet) stays empty.
        if (!Replace(block, "", 0)) return 0;
        if (nameOffset_) nameOffset_->SetInt(block, 0);
        return 1;
    }
    char joined[MAX_PATH];
    size_t used = 0;
    if (flag == 0) {
        used = baseLength_;
        if (used + length >= MAX_PATH) return 0;  // cannot be expanded within MAX_PATH
        std::memcpy(joined, base_, used);
    }
    std::memcpy(joined + used, text, length);
    joined[used + length] = '\0';
    return SetPath(block, joined);
}

int PathParam::LoadMem(const uint8_t* record, void* block) {
    if ((RecordWord(record, 0) & kKeywordMask) != Keyword()) return 0;
    uint32_t size = RecordWord(record, 1);
    if (size < 4) return 0;
    auto text = reinterpret_cast<const char*>(record + 12);
    size_t length = strnlen(text, size - 4);
    if (length + 1 > MAX_PATH) return 0;
    return StoreRecordText(block, RecordWord(record, 2), text, length);
}

int PathParam::SaveMem(HGLOBAL& handle, uint32_t& size, void* block) {
    if (Keyword() == 0) return 1;
    // Memory copies always carry absolute paths.
    return AppendTextRecord(handle, size, keywordWord, reinterpret_cast<const char*>(Word(block)), true) ? 1
                                                                                                         : 0;
}

static_assert(kPathRecordLimit == MAX_PATH, "path records hold what the system's paths hold");

int PathParam::ReadRecord(RecordReader& file, void* block) {
    uint32_t flag = 0;
    std::string text;
    if (!ReadPathRecord(file, &flag, &text)) return 0;
    return StoreRecordText(block, flag, text.c_str(), text.size());
}

namespace {
// Whether a path goes to a file relative to base: when the two share at least
// their drive root, and the relative text can be expanded again within
// MAX_PATH bytes (a deep base and a short path could otherwise make an album
// that cannot be read back).
bool WrittenRelative(const RelativeForm& form) {
    return form.common >= 1 && form.baseLength + form.TextLength() < MAX_PATH;
}
}  // namespace

std::string PathParam::StoredText(void* block, uint32_t& flag) const {
    auto path = reinterpret_cast<const char*>(Word(block));
    flag = 1;
    if (!path) return std::string();
    RelativeForm form = RelativeFormOf(path, base_);
    if (!WrittenRelative(form)) return std::string(path);
    flag = 0;
    std::string text;
    for (int up = 0; up < form.ups; ++up) text += "..\\";
    return text + form.rest;
}

int PathParam::WriteRecord(RecordWriter& file, void* block) {
    if (Keyword() == 0) return 1;
    auto path = reinterpret_cast<const char*>(Word(block));
    if (!path) path = kEmptyText;
    RelativeForm form = RelativeFormOf(path, base_);
    bool relative = WrittenRelative(form);
    uint32_t length = static_cast<uint32_t>(relative ? form.TextLength() : std::strlen(path));
    const uint32_t head[3] = {keywordWord, length + 1 + 4, relative ? 0u : 1u};
    bool written = file.Write(head, sizeof head);
    if (relative) {
        for (int up = 0; up < form.ups; ++up) written = file.Write("..\\", 3) && written;
        written = file.Write(form.rest, static_cast<uint32_t>(std::strlen(form.rest)) + 1) && written;
    } else {
        written = file.Write(path, length + 1) && written;
    }
    return written ? 1 : 0;
}

uint32_t PathParam::StoredSize(void* block) {
    auto path = reinterpret_cast<const char*>(Word(block));
    if (Keyword() == 0 || !path) return 0;
    RelativeForm form = RelativeFormOf(path, base_);
    size_t length = WrittenRelative(form) ? form.TextLength() : std::strlen(path);
    return static_cast<uint32_t>(length) + 1 + 12;
}

// BlockParam
uint8_t* BlockParam::Grow(void* block, uint32_t extra) {
    uint32_t used = static_cast<uint32_t>(size_->GetInt(block, nullptr));
    // The kept size lives in an int field: the block never grows past it.
    if (uint64_t(used) + extra > uint64_t(INT32_MAX)) return nullptr;
    auto grown = static_cast<uint8_t*>(ReallocAlbumBlock(reinterpret_cast<void*>(Word(block)), used + extra));
    if (!grown) return nullptr;
    Word(block) = reinterpret_cast<BlockWord>(grown);
    return grown + used;
}

int BlockParam::Release(void* block) {
    FreeAlbumBlock(reinterpret_cast<void*>(Word(block)));
    Word(block) = 0;
    size_->SetInt(block, 0);
    return 1;
}

int BlockParam::LoadMem(const uint8_t* record, void* block) {
    if (RecordWord(record, 1) > UINT32_MAX - 8) return 0;
    uint32_t length = RecordWord(record, 1) + 8;
    uint8_t* at = Grow(block, length);
    if (!at) return 0;
    std::memcpy(at, record, length);
    size_->SetInt(block, size_->GetInt(block, nullptr) + static_cast<int>(length));
    return 1;
}

int BlockParam::SaveMem(HGLOBAL& handle, uint32_t& size, void* block) {
    uint32_t used = static_cast<uint32_t>(size_->GetInt(block, nullptr));
    if (used == 0) return 1;
    return AppendMemBytes(handle, size, reinterpret_cast<const void*>(Word(block)), used) ? 1 : 0;
}

int BlockParam::ReadRecord(RecordReader& file, void* block) {
    uint32_t length = 0;
    if (!ReadKeptRecordSize(file, &length)) return 0;
    uint8_t* at = Grow(block, length + 8);
    if (!at) return 0;
    std::memcpy(at, &pendingKeywordWord, 4);
    std::memcpy(at + 4, &length, 4);
    if (!file.Read(at + 8, length)) return 0;
    size_->SetInt(block, size_->GetInt(block, nullptr) + static_cast<int>(length + 8));
    return 1;
}

int BlockParam::WriteRecord(RecordWriter& file, void* block) {
    uint32_t used = static_cast<uint32_t>(size_->GetInt(block, nullptr));
    if (used == 0) return 1;
    return file.Write(reinterpret_cast<const void*>(Word(block)), used) ? 1 : 0;
}

int BlockParam::Init(void* block) {
    Word(block) = 0;
    return 1;
}

uint32_t BlockParam::StoredSize(void* block) {
    return static_cast<uint32_t>(size_->GetInt(block, nullptr));
}
