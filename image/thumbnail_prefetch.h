// Thumbnails decoded ahead on the other processors. Decoding a camera
// picture, even reduced to 1/8, is nearly all of a thumbnail's cost, and
// the album box builds one cell per posted message on the user-interface
// thread; while that thread builds one cell, workers decode the next cells
// of the same screen page, so that a page fills at the speed of all the
// processors while the box still paints one cell per message.
//
// Workers only decode JPEG files, through the decoder's unreported entry
// (no progress target, no LastLoadError), and resample into plain memory:
// every process-wide value and every plug-in stays with the user-interface
// thread, which takes the results and turns them into album blocks.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/picture_pipeline.h"

// A finished thumbnail in plain memory.
struct PreparedThumbnail {
    int width = 0;
    int height = 0;
    int bitCount = 0;          // depth of the decoded picture: 8 (grey) or 24
    std::vector<BYTE> pixels;  // 24 bits, bottom row first, rows padded to 4 bytes
};

// Whether a file is one the workers decode (a .jpg or .jpeg name).
bool IsPrefetchableName(const char* path);

// Reads the JPEG's head, decodes it at the reduction that LoadPreview uses
// for target 2 x size and resamples it to its thumbnail size, exactly as
// the user-interface thread's build would. Safe on any thread. True on
// success; false for anything that is no decodable grey or colour JPEG.
// options are the display options of the moment the job was queued.
bool PrepareJpegThumbnail(const char* path, int size, const DisplayOptions& options, PreparedThumbnail* out);

// For tests: makes the nth buffer allocation of the decodes from now on
// fail as if memory had run out (1 the first); 0 ends that.
void FailThumbnailAllocation(int nth);

class ThumbnailPrefetch {
public:
    struct Job {
        int index;
        std::string path;
    };

    // workers threads; 0 makes an object that never prepares anything.
    explicit ThumbnailPrefetch(int workers);
    // Withdraws the queued jobs and waits for the decodes in progress.
    ~ThumbnailPrefetch();
    ThumbnailPrefetch(const ThumbnailPrefetch&) = delete;
    ThumbnailPrefetch& operator=(const ThumbnailPrefetch&) = delete;

    // Replaces every queued job and every unclaimed result by jobs, decoded
    // for cells of size pixels in the order given. Decodes in progress
    // finish, and their results are dropped.
    void Queue(const std::vector<Job>& jobs, int size);
    // Drops every queued job and result.
    void Clear();
    // The result for index, when it was queued for the same path under the
    // display options of now: true with
    // out filled when a worker has prepared it, waiting for a decode in
    // progress. False when no worker has started it (the job is withdrawn:
    // the caller builds the cell itself) or the decode failed.
    bool Take(int index, const char* path, PreparedThumbnail* out);
    // Jobs queued or in progress, and results not yet taken.
    int Pending();

    // One worker fewer than the processors: the user-interface thread
    // builds cells as well.
    static int DefaultWorkers();

private:
    enum class State { Queued, Running, Done };
    struct Entry {
        std::string path;
        int size = 0;
        DisplayOptions options;
        uint64_t ticket = 0;
        State state = State::Queued;
        bool ok = false;
        PreparedThumbnail result;
    };

    void Work();

    std::mutex lock_;
    std::condition_variable changed_;
    std::map<int, Entry> entries_;
    std::deque<int> order_;
    uint64_t nextTicket_ = 1;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
