// The album: an ordered list of pages, each naming one picture file, and a
// header with the title, the cover page and the album's own file path. Every
// value lives in a record block described by a param, so the accessors are
// thin: find the page's block, check the index, call one param operation.
//
// Index arguments are 0-based; a bad index (negative or at/past the page
// count) changes nothing. Text accessors then return null, integer accessors
// the failure value documented beside them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "album/mem_array.h"
#include "album/param_stream.h"
#include "album/record_file.h"
#include "album/zub_core.h"
#include "album/zub_param.h"

class ZubDocument {
public:
    ZubDocument();
    virtual ~ZubDocument();
    ZubDocument(const ZubDocument&) = delete;
    ZubDocument& operator=(const ZubDocument&) = delete;

    // The six virtual operations, in their fixed order.
    // Appends a page for path (expanded); its index, or -1. Callers look for
    // the page with FindPage first: duplicates are not refused here.
    virtual int AddPage(const char* path);
    // 1, or 0 for a bad index. The cover index follows the removal.
    virtual int RemovePage(int index);
    // Removes every page and resets the header (title, file path, cover).
    virtual int ClearAll();
    // 1, or 0 for a bad index; the cover stays with its page.
    virtual int SwapPages(int a, int b);
    // Reads a .zub (or GFI) file; 1 on success.
    virtual int LoadFile(const char* path);
    // Writes the album to path (which becomes its file path), or to its own
    // file path when path is null; 1 on success. The file it replaces is left
    // intact unless every byte of the new one was written.
    virtual int SaveFile(const char* path);

    // Album level.
    const char* SetFilePath(const char* path);
    const char* GetFilePath() const;  // "" when none is set
    const char* ZubFilePath() const { return GetFilePath(); }
    const char* GetFileName() const;
    const char* GetSavedPath() const;  // the file path found in the file at the last load
    const char* SetTitle(const char* text);
    const char* GetTitle() const;
    const char* ZubTitle() const { return GetTitle(); }
    int CoverIndex() const;
    void SetCoverIndex(int index);  // marks the album modified
    // Index of the first page naming the same file (expanded, ASCII case
    // ignored), or -1.
    int FindPage(const char* path) const;
    int PageCount() const { return static_cast<int>(pages_.Count()); }
    // Appends a page with every field at its default and no path (readers
    // fill it in); its index, or -1. Marks the album modified.
    int AddBlankPage();
    // Makes this album a copy of source's header (apart from its file path)
    // and pages; fields this album lacks go to its catch-alls. 1, or 0.
    int CopyFrom(ZubDocument& source);
    int ZubModified() const { return static_cast<int>(modified_); }
    void SetZubModified(int modified) { modified_ = modified ? 1 : 0; }

    // Page level.
    const char* SetPagePath(int index, const char* path);  // null: bad index or unexpandable path
    const char* GetPagePath(int index) const;
    const char* GetPageFileName(int index) const;
    int GetPageFileNameOffset(int index) const;  // -1 for a bad index
    const char* GetPageComment(int index) const;
    const char* SetPageComment(int index, const char* text);
    const char* SetPageCommentFromWindow(int index, HWND window);
    int GetPageMark(int index) const;       // 0 for a bad index
    int SetPageMark(int index, int value);  // 1, or 0 for a bad index

    // The record block of a page, or null for a bad index.
    void* PageBlock(int index) const;
    ParamStream& PageTemplate() { return pageTemplate_; }
    OwnedParamStream& Header() { return header_; }
    PathParam* PagePathParam() const { return pagePath_; }

    // Writes the whole .zub layout to file; 1 when every record was written.
    int WriteZub(RecordWriter& file);

protected:
    // A new page record block with every field at its default; its index or -1.
    int NewPage();
    // Points page paths at the album file's folder, so they are written (and
    // read) relative to it.
    void UpdatePageBase();
    int ReadZub(HANDLE file);

    ParamStream pageTemplate_;
    OwnedParamStream header_;
    MemArray pages_;
    uint32_t modified_ = 0;

    // Header params.
    IntParam* coverIndex_;
    StringParam* title_;
    PathParam* filePath_;
    IntParam* filePathNameOffset_;
    PathParam* savedPath_;
    IntParam* savedPathNameOffset_;
    BlockParam* headerCatchAll_;
    IntParam* headerCatchAllSize_;

    // Page params.
    PathParam* pagePath_;
    IntParam* pagePathNameOffset_;
    StringParam* pageComment_;
    BlockParam* pageCatchAll_;
    IntParam* pageCatchAllSize_;
    IntParam* pageMark_;
};

// Title, cover picture path and cover orientation of a .zub file without
// building an album (a GFI file's title picture when it is no .zub file).
// Every output is optional; coverPathOut is a MAX_PATH buffer. 1 when all that
// was asked for was found.
int PeekZubFile(const char* path, char* coverPathOut, char* titleOut, int titleSize, int* orientationOut);
