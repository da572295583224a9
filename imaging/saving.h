#pragma once

#include "imaging/save_target.h"
#include "settings/settings.h"

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace kx::imaging {

// These functions keep no state of their own; the worker calls them, tests call them directly.

// FreeImage save flags of the output format `key` from its settings.
int computeSaveFlags(std::string_view key, const settings::Settings& settings);

// Writes `page` to `path` in the run's format with the run's flags, through a temporary file
// in the same folder that is renamed over `path` only when the write succeeded. 8-bit BMP
// with the exact colour table goes through the compact writer, and 8-bit run-length BMP with
// the full table gets the same header and end-of-data repair (see compactBmpBytes); 4-bit
// run-length BMP is written here, as FreeImage codes 8-bit pages only; any other page,
// including one that is not 8-bit palette when the exact table was asked for, is saved by
// FreeImage as it is. Run-length coding follows BMP_SAVE_RLE in `job.saveFlags`. False for
// a null page or any failure; nothing is left behind then and a previous file at `path` is
// untouched, and `why` says why in the system's words. A BMP page whose file
// would exceed the format's 4 GiB size fields fails before anything is written. Missing
// folders are not made.
bool savePage(FIBITMAP* page, const std::string& path, const SaveTarget& job,
              const settings::Settings& settings, std::string& why);

// Why `page` cannot be saved in the run's format at all (a null page, a BMP too large for
// its size fields), or empty.
std::string pageSaveProblem(FIBITMAP* page, const SaveTarget& job);

// Writes `page` to `fd` in the run's format as savePage would, without the checks of
// pageSaveProblem. False with errno set on failure; `why` is set when the page itself cannot
// be encoded (not for a failed write).
bool encodePage(FIBITMAP* page, int fd, const SaveTarget& job, const settings::Settings& settings,
                std::string& why);

// The compact 8-bit BMP of `page` (an 8-bit palette bitmap): its colour table holds only the
// entries up to the highest index used. `rle` selects 8-bit run-length coding; the pixel data
// is FreeImage's, except that run-length data ends with the end-of-bitmap marker directly
// after the last row, the padding bytes of its absolute runs are 0 (FreeImage leaves them
// unset), and the headers state its true size. Empty on failure, for a null page
// or one that is not 8-bit palette.
std::string compactBmpBytes(FIBITMAP* page, bool rle);

} // namespace kx::imaging