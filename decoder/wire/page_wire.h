#pragma once

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

// What the worker asks of a decoder, one request at a time; the decoder answers each in turn.
enum class RequestKind : uint32_t {
    Page = 1,   // page `index`: a PageReply, or an EncodedReply once an Encode came
    Encode,     // from now on, every page as its finished file made by `recipe`; no answer
    Open,       // done with this file: open the one at `path` and answer with its PageCount
    FileReport, // a FileReportReply, once the pages are done
    End,        // end once what was asked before is answered
};

struct Request {
    RequestKind kind = RequestKind::End;
    int32_t index = 0; // Page
    // Page: the page is the only one asked for, so the decoder may write it with both cores.
    bool shareCores = false;
    // Page: the file the page's finished file is written into, or -1 for a memory file sent
    // back. Travels as a passed descriptor; the reader owns what it receives.
    int output = -1;
    imaging::SaveRecipe recipe; // Encode
    std::string path;           // Open
};

bool writeRequest(int fd, const Request& request);
// Reads a request; nullopt at end of input and for a malformed one.
std::optional<Request> readRequest(int fd);

// The decoder's answers, each starting with its kind.
enum class ReplyKind : uint32_t {
    PageCount = 0x4B584443,   // "KXDC", sent first for each file opened: its count of pages
    Page = 0x4B585047,        // "KXPG", a decoded page or why there is none
    EncodedPage = 0x4B584546, // "KXEF", a page's finished file or why there is none
    FileReport = 0x4B584652,  // "KXFR"
};

// The page count, 0 when the file has no pages.
bool writePageCount(int fd, int32_t count);
// Reads the page count; nullopt when the decoder ended or answered nonsense.
std::optional<int32_t> readPageCount(int fd, int timeoutMs);

// Sends a decoded page (or its absence) with everything the chain needs: type, size, depth,
// palette, colour masks, resolution, transparency and background colour.
bool writePage(int fd, FIBITMAP* page, const imaging::PageInfo& info);

// Receives a page. False when the decoder ended, stopped answering for `timeoutMs`, or sent
// something malformed; `page` may be null on success when the decoder had no page to give.
bool readPage(int fd, int timeoutMs, imaging::Bitmap& page, imaging::PageInfo& info);

// Sends a page's output file (or its absence) with the facts about the page.
bool writeEncodedPage(int fd, const imaging::EncodedPage& page, const imaging::PageInfo& info);
// Receives one. False when the decoder ended, stopped answering for `timeoutMs`, or sent
// something malformed.
bool readEncodedPage(int fd, int timeoutMs, imaging::EncodedPage& page, imaging::PageInfo& info);

// Why the file as a whole cannot be trusted (a directory chain that cannot be followed to its
// end), empty when it can, and the file's notes for a debug run (PageSource::fileNotes).
struct FileReport {
    std::string problem;
    std::string notes;
};
bool writeFileReport(int fd, const FileReport& report);
// Reads the report; nullopt when the decoder ended or answered nonsense.
std::optional<FileReport> readFileReport(int fd, int timeoutMs);

// How a decoder program is started and ends, beside its messages.
// Its first argument asking it to decode one watermark image (its second argument) and send
// it as one page message.
inline constexpr const char* k_watermarkSwitch = "--watermark";
// The environment variable through which a started decoder learns its parent's process id.
inline constexpr const char* k_parentVariable = "KESTRELIX_DECODER_PARENT";
// What a decoder ended by its bound of processor time exits with.
inline constexpr int k_timeBoundStatus = 3;

} // namespace kx::decoder