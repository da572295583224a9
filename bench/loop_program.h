#pragma once

// What the bare loops share, so that they are timed on the same terms: their arguments, the
// names of what they write, and libtiff kept quiet.

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kx::bench {

// Libtiff complains about tags it does not know (FreeImage's TIFF plugin asks for every EXIF
// tag); the converter routes those lines into its own diagnostics, and writing them to the
// terminal here would bill the floor for console output the converter never does.
inline void ignoreLibtiffMessage(const char*, const char*, va_list) {}

// True for the arguments IN.tif OUT_FOLDER; otherwise prints the usage. Silences libtiff.
inline bool loopArguments(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.tif OUT_FOLDER\n", argv[0]);
        return false;
    }
    TIFFSetErrorHandler(ignoreLibtiffMessage);
    TIFFSetWarningHandler(ignoreLibtiffMessage);
    return true;
}

// Where page `page` (from 1) goes: OUT_FOLDER/page-N.bmp.
inline std::string pagePath(const std::string& folder, int page) {
    return folder + "/page-" + std::to_string(page) + ".bmp";
}

} // namespace kx::bench
