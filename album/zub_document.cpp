#include "album/zub_document.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "album/album_memory.h"
#include "browse/file_utils.h"

namespace {
// Registers a param that needs a companion IntParam (a path's file-name
// offset, a catch-all's size); the companion follows it, with keyword 0 so
// that it is never written.
template <class P>
P* RegisterWithCompanion(ParamStream& stream, uint32_t keywordWord, IntParam*& companion) {
    auto linked = std::make_unique<IntParam>();
    companion = linked.get();
    P* param = stream.Register<P>(keywordWord, companion);
    stream.Add(std::move(linked));
    return param;
}

// A memory record carrier that frees itself.
class MemRecords {
public:
    MemRecords() = default;
    ~MemRecords() { FreeMovableBlock(handle); }
    MemRecords(const MemRecords&) = delete;
    MemRecords& operator=(const MemRecords&) = delete;
    HGLOBAL handle = nullptr;
    uint32_t size = 0;
};

// Copies one record block of source into target through memory records.
bool CopyRecords(ParamStream& sourceStream, void* sourceBlock, ParamStream& targetStream, void* targetBlock) {
    MemRecords records;
    uint32_t error = 0;
    sourceStream.SaveMem(records.handle, records.size, sourceBlock, error);
    if (error || !records.handle) return false;
    auto bytes = static_cast<const uint8_t*>(GlobalLock(records.handle));
    if (!bytes) return false;
    targetStream.LoadMem(bytes, targetBlock, error);
    GlobalUnlock(records.handle);
    return error == 0;
}
}  // namespace

ZubDocument::ZubDocument() {
    coverIndex_ = header_.Register<IntParam>(1);
    title_ = header_.Register<StringParam>(2);
    filePath_ = RegisterWithCompanion<PathParam>(header_, kFileOnly | 3, filePathNameOffset_);
    savedPath_ = RegisterWithCompanion<PathParam>(header_, kFileOnly, savedPathNameOffset_);
    headerCatchAll_ = RegisterWithCompanion<BlockParam>(header_, kHeaderCatchAll, headerCatchAllSize_);

    pagePath_ = RegisterWithCompanion<PathParam>(pageTemplate_, kKeywordPagePath, pagePathNameOffset_);
    pageComment_ = pageTemplate_.Register<StringParam>(kKeywordPageComment);
    pageCatchAll_ = RegisterWithCompanion<BlockParam>(pageTemplate_, kPageCatchAll, pageCatchAllSize_);
    pageMark_ = pageTemplate_.Register<IntParam>(kKeywordPageMark);
}

ZubDocument::~ZubDocument() {
    for (int index = PageCount() - 1; index >= 0; --index) {
        pageTemplate_.ReleaseAll(pages_.Get(index));
        pages_.Remove(index);
    }
}

void* ZubDocument::PageBlock(int index) const {
    return index < 0 ? nullptr : pages_.Get(index);
}

int ZubDocument::NewPage() {
    int index = pages_.Add(pageTemplate_.TotalSize());
    if (index < 0) return -1;
    void* block = pages_.Get(index);
    if (!pageTemplate_.InitAll(block)) {
        pageTemplate_.ReleaseAll(block);
        pages_.Remove(index);
        return -1;
    }
    return index;
}

int ZubDocument::AddBlankPage() {
    int index = NewPage();
    if (index >= 0) modified_ = 1;
    return index;
}

int ZubDocument::AddPage(const char* path) {
    int index = NewPage();
    if (index < 0) return -1;
    void* block = pages_.Get(index);
    // A page whose path cannot be expanded would name no file: refuse it.
    if (!pagePath_->SetPath(block, path)) {
        pageTemplate_.ReleaseAll(block);
        pages_.Remove(index);
        return -1;
    }
    modified_ = 1;
    return index;
}

int ZubDocument::RemovePage(int index) {
    void* block = PageBlock(index);
    if (!block) return 0;
    int cover = CoverIndex();
    if (index == cover)
        coverIndex_->SetInt(header_.Block(), 0);
    else if (index < cover)
        coverIndex_->SetInt(header_.Block(), cover - 1);
    int released = pageTemplate_.ReleaseAll(block);
    int removed = pages_.Remove(index);
    modified_ = 1;
    return released && removed ? 1 : 0;
}

int ZubDocument::ClearAll() {
    for (int index = PageCount() - 1; index >= 0; --index) {
        if (!RemovePage(index)) return 0;
    }
    modified_ = 1;
    return header_.Reset();
}

int ZubDocument::SwapPages(int a, int b) {
    if (a == b) return 1;
    if (a < 0 || b < 0 || !pages_.Swap(a, b)) return 0;
    modified_ = 1;
    int cover = CoverIndex();
    if (cover == a)
        coverIndex_->SetInt(header_.Block(), b);
    else if (cover == b)
        coverIndex_->SetInt(header_.Block(), a);
    return 1;
}

const char* ZubDocument::SetFilePath(const char* path) {
    if (!filePath_->SetPath(header_.Block(), path)) {
        filePath_->SetString(header_.Block(), "");
        filePathNameOffset_->SetInt(header_.Block(), 0);
    }
    modified_ = 1;
    return GetFilePath();
}

const char* ZubDocument::GetFilePath() const {
    const char* path = filePath_->GetString(header_.Block(), nullptr);
    return path ? path : "";
}

const char* ZubDocument::GetFileName() const {
    const char* path = GetFilePath();
    size_t offset = static_cast<size_t>(filePathNameOffset_->GetInt(header_.Block(), nullptr));
    return offset <= std::strlen(path) ? path + offset : "";
}

const char* ZubDocument::GetSavedPath() const {
    const char* path = savedPath_->GetString(header_.Block(), nullptr);
    return path ? path : "";
}

const char* ZubDocument::SetTitle(const char* text) {
    title_->SetString(header_.Block(), text);
    modified_ = 1;
    return GetTitle();
}

const char* ZubDocument::GetTitle() const {
    const char* title = title_->GetString(header_.Block(), nullptr);
    return title ? title : "";
}

int ZubDocument::CoverIndex() const {
    return coverIndex_->GetInt(header_.Block(), nullptr);
}

void ZubDocument::SetCoverIndex(int index) {
    coverIndex_->SetInt(header_.Block(), index);
    modified_ = 1;
}

int ZubDocument::FindPage(const char* path) const {
    char full[MAX_PATH];
    if (ExpandPath(path, full) == 0) return -1;
    // Case folding keeps every byte in its place, so equal paths have equal
    // folder lengths, and the file names (where pages of one folder differ)
    // are compared first: the shell calls this before every page it adds.
    int nameOffset = static_cast<int>(FileNamePart(full) - full);
    const char* name = full + nameOffset;
    for (int index = 0; index < PageCount(); ++index) {
        void* block = pages_.Get(index);
        if (pagePathNameOffset_->GetInt(block, nullptr) != nameOffset) continue;
        const char* page = pagePath_->GetString(block, nullptr);
        if (page && SamePathText(page + nameOffset, name) &&
            SamePathText(page, full, static_cast<size_t>(nameOffset))) {
            return index;
        }
    }
    return -1;
}

int ZubDocument::CopyFrom(ZubDocument& source) {
    if (&source == this) return 1;  // clearing first would lose the source
    ClearAll();
    modified_ = 0;
    if (!CopyRecords(source.header_, source.header_.Block(), header_, header_.Block())) return 0;
    for (int index = 0; index < source.PageCount(); ++index) {
        if (pages_.Add(pageTemplate_.TotalSize()) != index) return 0;
        void* block = pages_.Get(index);
        pageTemplate_.InitAll(block);
        if (!CopyRecords(source.pageTemplate_, source.pages_.Get(index), pageTemplate_, block)) return 0;
    }
    modified_ = 0;
    return 1;
}

const char* ZubDocument::SetPagePath(int index, const char* path) {
    void* block = PageBlock(index);
    if (!block || !pagePath_->SetPath(block, path)) return nullptr;
    modified_ = 1;
    return GetPagePath(index);
}

const char* ZubDocument::GetPagePath(int index) const {
    void* block = PageBlock(index);
    return block ? pagePath_->GetString(block, nullptr) : nullptr;
}

const char* ZubDocument::GetPageFileName(int index) const {
    const char* path = GetPagePath(index);
    if (!path) return nullptr;
    size_t offset = static_cast<size_t>(GetPageFileNameOffset(index));
    return offset <= std::strlen(path) ? path + offset : "";
}

int ZubDocument::GetPageFileNameOffset(int index) const {
    void* block = PageBlock(index);
    return block ? pagePathNameOffset_->GetInt(block, nullptr) : -1;
}

const char* ZubDocument::GetPageComment(int index) const {
    void* block = PageBlock(index);
    return block ? pageComment_->GetString(block, nullptr) : nullptr;
}

const char* ZubDocument::SetPageComment(int index, const char* text) {
    void* block = PageBlock(index);
    if (!block) return nullptr;
    pageComment_->SetString(block, text);
    modified_ = 1;
    return GetPageComment(index);
}

const char* ZubDocument::SetPageCommentFromWindow(int index, HWND window) {
    if (!PageBlock(index)) return nullptr;
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return SetPageComment(index, text.data());
}

int ZubDocument::GetPageMark(int index) const {
    void* block = PageBlock(index);
    return block ? pageMark_->GetInt(block, nullptr) : 0;
}

int ZubDocument::SetPageMark(int index, int value) {
    void* block = PageBlock(index);
    if (!block) return 0;
    pageMark_->SetInt(block, value);
    modified_ = 1;
    return 1;
}

void ZubDocument::UpdatePageBase() {
    char folder[MAX_PATH];
    const char* path = GetFilePath();
    size_t length = static_cast<size_t>(FileNamePart(path) - path);
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    pagePath_->SetBaseDirectory(folder);
}
