#include "engine/file_type.h"

#include "base/fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace kx::engine {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view k_unrecognized = "[ERROR] UNRECOGNIZED";
constexpr size_t k_bytesLookedAt = 20;

// Bytes at the start of the file, and optionally more bytes further in.
struct Signature {
    std::string_view lead;
    std::string_view name;
    size_t extraOffset = 0;
    std::string_view extra = {};
};

// Order matters among signatures sharing a first byte: the last match wins, so a longer
// signature listed after a shorter one refines it (CR2 after little-endian TIFF).
constexpr std::array k_signatures{
    Signature{"\x00\x00\x01\x00"sv, "ICO"},
    Signature{"\x00\x00\x01\xB3"sv, "MPEG"},
    Signature{"\x00\x00\x01\xBA"sv, "MPG/VOB"},
    Signature{"\x1A\x45\xDF\xA3"sv, "MKV/MKA/WEBM"},
    Signature{"\x1B\x4C\x75\x61"sv, "LUAC"},
    Signature{"\x1F\x8B"sv, "GZ"},
    Signature{"%!PS"sv, "PS"},
    Signature{"%PDF-"sv, "PDF"},
    Signature{"**ACE**"sv, "ACE"},
    Signature{"/* XPM */"sv, "XPM"},
    Signature{"\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv, "ASF/WMA/WMV"},
    Signature{"\x31\x0A\x30\x30"sv, "SRT"},
    Signature{"\x37\x7A\xBC\xAF\x27\x1C"sv, "7Z"},
    Signature{"8BPS"sv, "PSD"},
    Signature{"AGD3"sv, "FH8"},
    Signature{"AT&TFORM"sv, "DJVU", 12, "DJV"sv},
    Signature{"BLENDER"sv, "BLEND"},
    Signature{"BM"sv, "BMP"},
    Signature{"\x42\x50\x47\xFB"sv, "BPG"},
    Signature{"BZh"sv, "BZ2"},
    Signature{"CWS"sv, "SWF"},
    Signature{"DRACO"sv, "DRC"},
    Signature{"FLIF"sv, "FLIF"},
    Signature{"FWS"sv, "SWF"},
    Signature{"FLV"sv, "FLV"},
    Signature{"GIF87a"sv, "GIF87A"},
    Signature{"GIF89a"sv, "GIF89A"},
    Signature{"\x49\x49\x2A\x00"sv, "TIFF (LE)"},
    Signature{"\x49\x49\x2A\x00\x10\x00\x00\x00\x43\x52"sv, "CR2"},
    Signature{"\x49\x54\x53\x46\x03\x00\x00\x00\x60\x00\x00\x00"sv, "CHM"},
    Signature{"ID3"sv, "MP3/ID3V2"},
    Signature{"ISc("sv, "CAB (IS)"},
    Signature{"LZIP"sv, "LZ"},
    Signature{"MLVI"sv, "MLV"},
    Signature{"\x4D\x4D\x00\x2A"sv, "TIFF (BE)"},
    Signature{"MSCF"sv, "CAB"},
    Signature{"MThd"sv, "MID/MIDI"},
    Signature{"MZ"sv, "EXE/DLL (MZ/PE/NE)"},
    Signature{"NURUIMG"sv, "NUI"},
    Signature{"NURUPAL"sv, "NUP"},
    Signature{"OggS"sv, "OGG/OGA/OGV"},
    Signature{"P1\n"sv, "PBM"},
    Signature{"P2\n"sv, "PGM"},
    Signature{"P3\n"sv, "PPM"},
    Signature{"\x50\x4B\x03\x04"sv, "ZIP"},
    Signature{"\x50\x4B\x05\x06"sv, "ZIP (E)"},
    Signature{"\x50\x4B\x07\x08"sv, "ZIP (S)"},
    Signature{"RIFF"sv, "ANI", 8, "ACON"sv},
    Signature{"RIFF"sv, "AVI", 8, "AVI "sv},
    Signature{"RIFF"sv, "WAV", 8, "WAVE"sv},
    Signature{"RIFF"sv, "WEBP", 8, "WEBP"sv},
    Signature{"\x52\x61\x72\x21\x1A\x07\x00"sv, "RAR (1.5+)"},
    Signature{"\x52\x61\x72\x21\x1A\x07\x01\x00"sv, "RAR (5.0+)"},
    Signature{"SDPX"sv, "DPX (BE)"},
    Signature{"SQLite format 3\x00"sv, "SQLITE/DB"},
    Signature{"XPDS"sv, "DPX (LE)"},
    Signature{"ZM"sv, "EXE (ZM)"},
    Signature{"\x60\xEA"sv, "ARJ"},
    Signature{"fLaC"sv, "FLAC"},
    Signature{"ftyp3g"sv, "3GP"},
    Signature{"gimp xcf"sv, "XCF"},
    Signature{"tox3"sv, "TOX"},
    Signature{"\x76\x2F\x31\x01"sv, "EXR"},
    Signature{"xar!"sv, "XAR"},
    Signature{"{\\rtf1"sv, "RTF"},
    Signature{"\x80\x2A\x5F\xD7"sv, "CIN"},
    Signature{"\x89\x50\x4E\x47\x0D\x0A\x1A\x0A"sv, "PNG"},
    Signature{"\xCA\xFE\xBA\xBE"sv, "CLASS"},
    Signature{"\xCF\x84\x01"sv, "LEP"},
    Signature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv, "DOC/XLS/PPT"},
    Signature{"\xD7\xCD\xC6\x9A"sv, "WMF"},
    Signature{"\xFD\x37\x7A\x58\x5A\x00"sv, "XZ"},
    Signature{"\xFF\xD8\xFF\xDB"sv, "JPG"},
    Signature{"\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01"sv, "JPEG/JFIF"},
    Signature{"\xFF\xD8\xFF\xEE"sv, "JPEG"},
    Signature{"\xFF\xD8\xFF\xE1"sv, "JPEG/EXIF", 6, "Exif\x00\x00"sv},
    Signature{"\xFF\xF2"sv, "MP3"},
    Signature{"\xFF\xF3"sv, "MP3"},
    Signature{"\xFF\xFB"sv, "MP3"},
};

bool holdsAt(std::string_view bytes, size_t offset, std::string_view wanted) {
    return offset <= bytes.size() && bytes.size() - offset >= wanted.size() &&
           bytes.compare(offset, wanted.size(), wanted) == 0;
}

bool matches(std::string_view bytes, const Signature& signature) {
    return holdsAt(bytes, 0, signature.lead) &&
           (signature.extra.empty() || holdsAt(bytes, signature.extraOffset, signature.extra));
}

// Fills `buffer` from the start of the file; the count read, or nothing on failure, with
// errno saying why.
size_t readLeadingBytes(const std::string& path, std::array<char, k_bytesLookedAt>& buffer) {
    // Non-blocking so that a FIFO without a writer cannot stall the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return 0;
    }
    errno = 0;
    const size_t filled = base::readUpTo(fd, buffer.data(), buffer.size());
    const int error = errno;
    ::close(fd);
    errno = error;
    return filled;
}

// The byte order mark and version number of a TIFF (42) or BigTIFF (43) file.
bool beginsAsTiff(std::string_view head) {
    for (std::string_view start :
         {"II\x2A\x00"sv, "MM\x00\x2A"sv, "II\x2B\x00"sv, "MM\x00\x2B"sv}) {
        if (head.starts_with(start))
            return true;
    }
    return false;
}

} // namespace

std::string detectFileType(const std::string& path) {
    std::array<char, k_bytesLookedAt> buffer{};
    const size_t size = readLeadingBytes(path, buffer);
    return detectFileTypeOfBytes(reinterpret_cast<const unsigned char*>(buffer.data()), size);
}

std::string detectFileTypeOfBytes(const unsigned char* bytes, size_t size) {
    if (bytes == nullptr || size == 0) {
        return std::string(k_unrecognized);
    }
    const std::string_view head(reinterpret_cast<const char*>(bytes),
                                size < k_bytesLookedAt ? size : k_bytesLookedAt);
    std::string_view result = k_unrecognized;
    for (const Signature& signature : k_signatures) {
        // Only the tests of the file's own first byte take part.
        if (signature.lead[0] == head[0] && matches(head, signature)) {
            result = signature.name;
        }
    }
    return std::string(result);
}

std::string inputFileProblem(const std::string& path) {
    std::array<char, k_bytesLookedAt> buffer{};
    errno = 0;
    const size_t size = readLeadingBytes(path, buffer);
    if (size == 0 && errno != 0)
        return "cannot open " + path + ": " + std::strerror(errno);
    const std::string_view head(buffer.data(), size);
    if (beginsAsTiff(head))
        return "";
    const std::string type =
        detectFileTypeOfBytes(reinterpret_cast<const unsigned char*>(buffer.data()), size);
    if (type == k_unrecognized)
        return path + " is not a TIFF file";
    return path + " is a " + type + " file, not a TIFF file";
}

} // namespace kx::engine
