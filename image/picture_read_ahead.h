// Pictures read ahead: while the user looks at one picture, a worker thread
// loads the ones the next key press may ask for, exactly as the user-
// interface thread would (LoadDisplayPictureUnreported, then the album
// page's orientation), into memory held under a byte cap. A key press for
// one of them hands its blocks over and nothing is decoded.
//
// The worker touches no process-wide value and no window: progress,
// LastLoadError and every failure stay with the user-interface thread,
// which loads afresh whatever is not here (not read yet, failed, other
// readers' files, a file changed on disk since it was read).
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/picture_pipeline.h"

class PictureReadAhead {
public:
    struct Key {
        std::string path;
        int orientation = 0;
        // The display options the picture is prepared with (a copy taken
        // on the user-interface thread).
        DisplayOptions display;
    };

    // Starts the worker; capBytes bounds the pixels held
    // (a picture larger than what is free is not read ahead).
    explicit PictureReadAhead(uint64_t capBytes);
    // Cancels the queue, waits for the read in progress, frees everything.
    ~PictureReadAhead();
    PictureReadAhead(const PictureReadAhead&) = delete;
    PictureReadAhead& operator=(const PictureReadAhead&) = delete;

    // The size a picture of the given size is drawn at when fitted (0 x 0
    // for none), asked on the worker.
    using FitFor = std::function<SIZE(SIZE picture)>;

    // The pictures wanted next, nearest first. Everything else is dropped;
    // a read in progress for anything else is dropped when it ends. With
    // fitFor, each is also scaled to the size it would be drawn at, so that
    // the first paint after the key press needs no fit pass either.
    void Want(const std::vector<Key>& wanted, FitFor fitFor = nullptr);
    // 1 with the picture (turned, as a 24-bit bottom-up DIB section that
    // the caller owns) and its own depth when it was read ahead and the
    // file still has the size and write time it had then; waits for a read
    // in progress. 0 otherwise.
    // fitted (when given) receives the picture scaled for fitFor, a 24-bit
    // bottom-up DIB section the caller owns, or null.
    int Take(const Key& key, HBITMAP* picture, int* bitCount, HBITMAP* fitted = nullptr);

    // A new cap, at once: the pictures held past it are dropped, farthest
    // first.
    void SetCap(uint64_t capBytes);

    uint64_t HeldBytes();
    // The most ever held at once.
    uint64_t PeakBytes();
    // Reads finished by the worker, successful or not, and pictures handed
    // over by Take (for tests and benches).
    int ReadsDone();
    int Hits();
    // Reads queued or in progress.
    int Pending();

private:
    enum class State { Queued, Running, Done };
    struct Entry {
        Key key;
        State state = State::Queued;
        bool wanted = true;
        HBITMAP picture = nullptr;
        HBITMAP fitted = nullptr;
        int bitCount = 0;
        uint64_t bytes = 0;
        uint64_t fileSize = 0;
        FILETIME writeTime{0, 0};
    };

    void Work();
    void Read(Entry& entry, uint64_t room, const FitFor& fitFor);
    static void Free(Entry& entry);

    std::mutex lock_;
    // Set when the read in progress is no longer wanted (the user moved on,
    // or the object goes): its decode ends at the next look.
    std::atomic<bool> abandonRunning_{false};
    std::condition_variable changed_;
    std::list<Entry> entries_;
    FitFor fitFor_;
    uint64_t cap_;
    uint64_t held_ = 0;
    uint64_t peak_ = 0;
    int readsDone_ = 0;
    int hits_ = 0;
    bool stopping_ = false;
    std::thread worker_;
};
