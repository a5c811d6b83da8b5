// Placeholder host with an empty plug-in table: every operation answers as
// it does when no plug-in is installed.
#include "image/plugin_host.h"

int LoadPluginsFromCommonFiles() { return 0; }
int LoadPluginsFromProgramFolder() { return 0; }
int LoadPlugins(const char*) { return 0; }
void UnloadPlugins() {}
int PluginLoadPicture(const char*, ProgressProc, long, HLOCAL*, HLOCAL*) {
    LastLoadError = kLoadNotThisFormat;
    return 0;
}
int PluginLoadPreview(const char*, ProgressProc, long, HLOCAL*, HLOCAL*) {
    LastLoadError = kLoadNotThisFormat;
    return 0;
}
int PluginReadInfo(const char*, PictureInfo*) { return 0; }
int PluginSupportsFile(const char*) { return 0; }
int PluginMatchesExtension(const char*) { return 0; }
