// Which plug-in files a program of this bitness loads into itself: 64-bit
// plug-ins carry their own extension, so that a folder can hold both kinds.
#pragma once

#ifdef _WIN64
constexpr char kPluginPattern[] = "*.sph";
#else
constexpr char kPluginPattern[] = "*.spi";
#endif
constexpr const char* kPluginExtension = kPluginPattern + 1;
