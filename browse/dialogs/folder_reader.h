// The entries of one folder, in the order the file system gives them, read
// through the wide calls (see ToCodePage). A large folder is read ahead on
// a worker thread, so that the file system's time overlaps the listing's own
// work (filters, the list, the messages it pumps) instead of adding to it. The worker touches nothing but the
// search handle and the entries it hands over.
#pragma once

#include <windows.h>

#include <vector>

#include "browse/scoped_handles.h"

class FolderReader {
public:
    explicit FolderReader(const char* pattern);
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // The next entry; false at the end of the folder.
    bool Next(WIN32_FIND_DATAA& out);

    // A wide entry as the code page spells it. A name that the code page
    // cannot spell exactly (a character it lacks, or one it would only
    // approximate) names nothing the ANSI calls can reach: it gets the
    // attribute word INVALID_FILE_ATTRIBUTES, as GetFileAttributes of its
    // path would answer, so that it is never listed or opened.
    static void ToCodePage(const WIN32_FIND_DATAW& in, WIN32_FIND_DATAA& out);

private:
    static DWORD WINAPI ReadAhead(void* self);
    void Refill();

    std::vector<WIN32_FIND_DATAA> taken_ = std::vector<WIN32_FIND_DATAA>(1);  // read by this thread
    size_t next_ = 0;
    FindHandle find_;     // after taken_, which receives its first entry
    bool atEnd_ = false;  // the search has no more entries
    HANDLE worker_ = nullptr;
    // Shared with the worker, under lock_.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE arrived_ = CONDITION_VARIABLE_INIT;
    std::vector<WIN32_FIND_DATAA> handed_;
    bool workerDone_ = false;
    volatile LONG stop_ = 0;
};
