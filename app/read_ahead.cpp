#include "app/read_ahead.h"

#include <string>
#include <vector>

#include "album/zub_album.h"
#include "app/display_layout.h"
#include "app/viewer_state.h"
#include "browse/file_utils.h"
#include "image/picture_read_ahead.h"

namespace {
// The entry that a step of delta (+1 or -1) from the shown one shows; the
// slideshow wraps round at the end, the keys do not.
bool Neighbour(int delta, PictureReadAhead::Key* key) {
    const ViewerState& v = Viewer();
    const bool wrap = v.Settings.AutoSwitch && delta > 0;
    if (v.DisplayMode == kZubDisplay) {
        const int pages = v.Album ? v.Album->PageCount() : 0;
        int index = int(v.CurrentZubIndex) + delta;
        if (wrap && index >= pages) index = 0;
        if (index < 0 || index >= pages || !v.Album->GetPagePath(index)) return false;
        key->path = v.Album->GetPagePath(index);
        key->orientation = v.Album->GetPageOrientation(index);
        return true;
    }
    const FolderList& list = v.FolderList;
    if (!list.block || list.count == 0) return false;
    long index = long(v.FolderIndex) + delta;
    if (wrap && index >= long(list.count)) index = 0;
    char path[MAX_PATH];
    if (index < 0 || index >= long(list.count) || !JoinPath(path, list.folder, list.names[index]))
        return false;
    key->path = path;
    key->orientation = 0;
    return true;
}
}  // namespace

void ReadNeighboursAhead() {
    ViewerState& v = Viewer();
    if (v.Settings.ReadAheadMegabytes <= 0) {
        v.ReadAhead.reset();
        return;
    }
    if (!v.ReadAhead)
        v.ReadAhead = std::make_unique<PictureReadAhead>(uint64_t(v.Settings.ReadAheadMegabytes) << 20);
    std::vector<PictureReadAhead::Key> wanted;
    for (int delta : {1, -1}) {
        PictureReadAhead::Key key;
        key.display = PictureDisplayOptions();
        if (Neighbour(delta, &key)) wanted.push_back(key);
    }
    // A picture of the shown one's size fills the same window, so the worker
    // can scale it for the client as it is now; any other size is scaled
    // afresh at its first paint, as without read-ahead.
    PictureReadAhead::FitFor fitFor;
    if (v.Settings.FitToWindow && v.Settings.KeepFittedPicture && !v.Settings.Animate) {
        fitFor = [client = v.ClientSize, shown = v.PictureSize](SIZE picture) {
            if (picture.cx != shown.cx || picture.cy != shown.cy) return SIZE{0, 0};
            const DrawRect drawn = FitDrawRect(picture, client, false, 0);
            return SIZE{drawn.width, drawn.height};
        };
    }
    v.ReadAhead->Want(wanted, fitFor);
}

void ApplyReadAheadCap() {
    ViewerState& v = Viewer();
    if (v.Settings.ReadAheadMegabytes <= 0)
        v.ReadAhead.reset();
    else if (v.ReadAhead)
        v.ReadAhead->SetCap(uint64_t(v.Settings.ReadAheadMegabytes) << 20);
}

int TakeReadAheadPicture(HBITMAP* picture, int* bitCount, HBITMAP* fitted) {
    ViewerState& v = Viewer();
    if (!v.ReadAhead || !v.CurrentPath[0]) return 0;
    return v.ReadAhead->Take(PictureReadAhead::Key{v.CurrentPath, v.CurrentOrientation, PictureDisplayOptions()},
                             picture, bitCount, fitted);
}
