#include "image/picture_types.h"

// On its own, so that the plug-in helper, whose plug-in calls set it, is not
// linked with the whole picture loader (and the graphics and window
// libraries that come with it).
int LastLoadError = kLoadOk;
