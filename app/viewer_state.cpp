#include "app/viewer_state.h"

#include "album/zub_album.h"
#include "image/picture_pipeline.h"
#include "image/picture_read_ahead.h"

ViewerState::ViewerState() = default;
ViewerState::~ViewerState() = default;

namespace {
std::unique_ptr<ViewerState>& Instance() {
    static std::unique_ptr<ViewerState> state = std::make_unique<ViewerState>();
    return state;
}
}  // namespace

ViewerState& Viewer() {
    return *Instance();
}

void ResetViewerState() {
    Instance() = std::make_unique<ViewerState>();
    ResetPictureDisplayOptions();
}
