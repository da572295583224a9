#pragma once

#include "decoder/loading.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kx::decoder {

// The messages between the decoder process and the worker, over one Unix stream socket (a
// memory file with a page's pixels or output file travels beside a header as a passed
// descriptor). Both ends are this program, but the worker still checks every size it reads:
// a decoder that went wrong must not be able to make the worker read or allocate what it
// should not.

// Sent once by the decoder after opening the file: its page count, 0 when it has no pages.
bool writePageCount(int fd, int32_t count);
// Reads the page count; nullopt when the decoder ended or answered nonsense.
std::optional<int32_t> readPageCount(int fd, int timeoutMs);

// Sent by the worker to ask for page `index`; a negative index tells the decoder to end.
// `output`, when not -1, is the file the page's finished file is to be written into.
bool writePageRequest(int fd, int32_t index, int output = -1);
// A request as the decoder reads it; `output` is owned by the reader (-1 when none came).
struct PageRequest {
    int32_t index = 0;
    int output = -1;
};
// Reads a request; nullopt at end of input.
std::optional<PageRequest> readPageRequest(int fd);

// Sends a decoded page (or its absence) with everything the chain needs: type, size, depth,
// palette, colour masks, resolution, transparency and background colour.
bool writePage(int fd, FIBITMAP* page, const imaging::PageInfo& info);

// Receives a page. False when the decoder ended, stopped answering for `timeoutMs`, or sent
// something malformed; `page` may be null on success when the decoder had no page to give.
bool readPage(int fd, int timeoutMs, imaging::Bitmap& page, imaging::PageInfo& info);

// Asks the decoder to send every page from now on as its finished output file made by the
// recipe, which follows the request index on the wire.
inline constexpr int32_t k_encodeRequest = -3;
bool writeEncodeRequest(int fd, const imaging::SaveRecipe& recipe);
// Reads the recipe after an encode request; nullopt when it is malformed or missing.
std::optional<imaging::SaveRecipe> readSaveRecipe(int fd);

// Sends a page's output file (or its absence) with the facts about the page.
bool writeEncodedPage(int fd, const imaging::EncodedPage& page, const imaging::PageInfo& info);
// Receives one. False when the decoder ended, stopped answering for `timeoutMs`, or sent
// something malformed.
bool readEncodedPage(int fd, int timeoutMs, imaging::EncodedPage& page, imaging::PageInfo& info);

// Asks for the next page as part `part` of `parts` of its output file, which that many
// decoders write at once (PageSource::encodePart), each claiming its pieces from the shared
// counter `counter` (a BandCounter's memory file, attached to the request); the part follows
// the request index on the wire. The answer to that page request starts with the number of
// parts the page is written in (writePartCount): the parts asked for when the page splits
// (PageSource::splitsPage), and then only this part is written, part 0 with the headers; 1
// when it does not, and then part 0 is the whole file made as usual and any other part an
// answer without a file. Sent early, so that the other parts can be asked for at once.
inline constexpr int32_t k_partRequest = -5;
struct PartRequest {
    int32_t part = 0;
    int32_t parts = 1;
};
bool writePartRequest(int fd, const PartRequest& part, int counter);
// Reads the part after a part request (whose counter readPageRequest received as its
// `output`); nullopt when it is malformed or missing.
std::optional<PartRequest> readPartRequest(int fd);
bool writePartCount(int fd, int32_t parts);
// Reads the number of parts; nullopt when the decoder ended, stopped answering for
// `timeoutMs`, or sent something malformed.
std::optional<int32_t> readPartCount(int fd, int timeoutMs);

// Tells the decoder to end once it has answered what it was asked before.
inline constexpr int32_t k_endRequest = -1;

// Asks a decoder that is done with its file to open the file at `path`, which follows the
// request index on the wire, and to answer as a decoder started on it does: with the page
// count. Pages go out as bitmaps again until an encode request comes.
inline constexpr int32_t k_openRequest = -4;
bool writeOpenRequest(int fd, const std::string& path);
// Reads the path after an open request; nullopt when it is malformed or missing.
std::optional<std::string> readOpenedPath(int fd);

// The file report, asked for with this request index once the pages are done: why the file
// as a whole cannot be trusted (a directory chain that cannot be followed to its end), empty
// when it can, and the file's notes for a debug run (PageSource::fileNotes).
inline constexpr int32_t k_fileReportRequest = -2;
struct FileReport {
    std::string problem;
    std::string notes;
};
bool writeFileReport(int fd, const FileReport& report);
// Reads the report; nullopt when the decoder ended or answered nonsense.
std::optional<FileReport> readFileReport(int fd, int timeoutMs);

// The decoder's first argument asking it to decode one watermark image (its second argument)
// and send it as one page message.
inline constexpr const char* k_watermarkSwitch = "--watermark";

} // namespace kx::decoder