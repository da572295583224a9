#include "engine/file_type.h"
#include "tests/support/case_names.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kx::engine {
namespace {

using namespace std::string_literals;

const std::string k_unrecognized = "[ERROR] UNRECOGNIZED";

std::string detect(const std::string& bytes) {
    return detectFileTypeOfBytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                                 bytes.size());
}

// Pads a signature to a typical header length, so that matches do not depend on the file
// ending right after the signature.
std::string padded(std::string bytes) {
    bytes.resize(32, '\x5A');
    return bytes;
}

TEST(FileTypeTest, TiffByteOrdersAndCr2) {
    EXPECT_EQ(detect(padded("II\x2A\x00\x08\x00\x00\x00"s)), "TIFF (LE)");
    EXPECT_EQ(detect(padded("MM\x00\x2A\x00\x00\x00\x08"s)), "TIFF (BE)");
    EXPECT_EQ(detect(padded("II\x2A\x00\x10\x00\x00\x00\x43\x52\x02\x00"s)), "CR2");
    EXPECT_EQ(detect("II\x2A\x00\x10\x00\x00\x00\x43"s), "TIFF (LE)");        // CR marker cut short
    EXPECT_EQ(detect(padded("II\x2B\x00\x08\x00\x00\x00"s)), k_unrecognized); // BigTIFF
    EXPECT_EQ(detect("II\x2A"s), k_unrecognized);
}

TEST(FileTypeTest, JpegExifNeedsItsMarker) {
    EXPECT_EQ(detect(padded("\xFF\xD8\xFF\xE1\x12\x34"
                            "Exif\x00\x00"s)),
              "JPEG/EXIF");
    EXPECT_EQ(detect(padded("\xFF\xD8\xFF\xE1\x12\x34"
                            "Exif\x00\x01"s)),
              k_unrecognized);
    EXPECT_EQ(detect(padded("\xFF\xD8\xFF\xE1\x12\x34"
                            "XMP\x00\x00\x00"s)),
              k_unrecognized);
    EXPECT_EQ(detect("\xFF\xD8\xFF\xE1\x12\x34"
                     "Exif\x00"s),
              k_unrecognized);
    EXPECT_EQ(detect(padded("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01"s)), "JPEG/JFIF");
    EXPECT_EQ(detect(padded("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x02"s)), k_unrecognized);
}

TEST(FileTypeTest, EveryTestOfTheFirstByteIsTried) {
    EXPECT_EQ(detect(padded("FLV\x01"s)), "FLV");
    EXPECT_EQ(detect(padded("FLIF"s)), "FLIF");
    EXPECT_EQ(detect(padded("FWS\x08"s)), "SWF");
    EXPECT_EQ(detect(padded("ID3\x04"s)), "MP3/ID3V2");
    EXPECT_EQ(detect(padded("ISc("s)), "CAB (IS)");
    EXPECT_EQ(detect(padded("MZ\x90\x00"s)), "EXE/DLL (MZ/PE/NE)");
}

TEST(FileTypeTest, RiffVariantsDependOnTheirFormTag) {
    EXPECT_EQ(detect(padded("RIFF\x24\x08\x00\x00WAVEfmt "s)), "WAV");
    EXPECT_EQ(detect(padded("RIFF\x24\x08\x00\x00WEBPVP8 "s)), "WEBP");
    EXPECT_EQ(detect(padded("RIFF\x24\x08\x00\x00"
                            "AVI LIST"s)),
              "AVI");
    EXPECT_EQ(detect(padded("RIFF\x24\x08\x00\x00"
                            "ACONLIST"s)),
              "ANI");
    EXPECT_EQ(detect(padded("RIFF\x24\x08\x00\x00RMIDdata"s)), k_unrecognized);
    EXPECT_EQ(detect("RIFF\x24\x08\x00\x00WAV"s), k_unrecognized);
    EXPECT_EQ(detect(padded("Rar!\x1A\x07\x00"s)), "RAR (1.5+)");
    EXPECT_EQ(detect(padded("Rar!\x1A\x07\x01\x00"s)), "RAR (5.0+)");
}

TEST(FileTypeTest, OffsetConditionsAndShortOrOddInput) {
    EXPECT_EQ(detect(padded("AT&TFORM\x00\x00\x10\x00"
                            "DJVU"s)),
              "DJVU");
    std::string longHeader = padded("MM\x00\x2A"s);
    longHeader.resize(4096, '\xFF');
    EXPECT_EQ(detect(longHeader), "TIFF (BE)");
    EXPECT_EQ(detectFileTypeOfBytes(nullptr, 0), k_unrecognized);
    EXPECT_EQ(detect(""), k_unrecognized);
    EXPECT_EQ(detect(padded("\x01\x02\x03"s)), k_unrecognized); // first byte without tests
}

TEST(FileTypeTest, FilesOnDisk) {
    test::TempDir dir;
    test::writeFile(dir.file("empty.bin"), "");
    test::writeFile(dir.file("short.bmp"), "BM\x36"s);
    test::writeFile(dir.file("photo.txt"), "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR"s);
    EXPECT_EQ(detectFileType(dir.file("empty.bin")), k_unrecognized);
    EXPECT_EQ(detectFileType(dir.file("short.bmp")), "BMP");
    EXPECT_EQ(detectFileType(dir.file("photo.txt")), "PNG");
    EXPECT_EQ(detectFileType(dir.file("absent.tif")), k_unrecognized);
    EXPECT_EQ(detectFileType(dir.folder()), k_unrecognized);
    EXPECT_EQ(detectFileType(""), k_unrecognized);
}

TEST(FileTypeTest, CorpusTiffsByByteOrder) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(test::corpusFile(""))) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension != ".tif" && extension != ".tiff") {
            continue;
        }
        std::string head(4, '\0');
        std::ifstream(entry.path(), std::ios::binary).read(head.data(), 4);
        std::string expected = k_unrecognized;
        if (head == "II\x2A\x00"s) {
            expected = "TIFF (LE)";
        } else if (head == "MM\x00\x2A"s) {
            expected = "TIFF (BE)";
        }
        EXPECT_EQ(detectFileType(entry.path().string()), expected) << name;
        ++checked;
    }
    EXPECT_GE(checked, 40);
    EXPECT_EQ(detectFileType(test::corpusFile("hopper2.tif")), "TIFF (LE)");
    EXPECT_EQ(detectFileType(test::corpusFile("fax2d.tif")), "TIFF (BE)");
    // BigTIFF's version number 43 is not in the table.
    EXPECT_EQ(detectFileType(test::corpusFile("BigTIFFMotorola.tif")), k_unrecognized);
}

struct SignatureCase {
    const char* label;
    std::string bytes;
    const char* name;
};

class FileTypeSignatureTest : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(FileTypeSignatureTest, NamesTheSignature) {
    EXPECT_EQ(detect(padded(GetParam().bytes)), GetParam().name);
    // One byte short of the signature never matches it.
    const std::string cut = GetParam().bytes.substr(0, GetParam().bytes.size() - 1);
    EXPECT_NE(detect(cut), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileTypeSignatureTest,
    ::testing::Values(
        SignatureCase{"ico", "\x00\x00\x01\x00"s, "ICO"},
        SignatureCase{"mpeg", "\x00\x00\x01\xB3"s, "MPEG"},
        SignatureCase{"vob", "\x00\x00\x01\xBA"s, "MPG/VOB"},
        SignatureCase{"mkv", "\x1A\x45\xDF\xA3"s, "MKV/MKA/WEBM"},
        SignatureCase{"gz", "\x1F\x8B"s, "GZ"}, SignatureCase{"ps", "%!PS"s, "PS"},
        SignatureCase{"pdf", "%PDF-"s, "PDF"}, SignatureCase{"xpm", "/* XPM */"s, "XPM"},
        SignatureCase{"asf", "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"s,
                      "ASF/WMA/WMV"},
        SignatureCase{"7z", "7z\xBC\xAF\x27\x1C"s, "7Z"}, SignatureCase{"psd", "8BPS"s, "PSD"},
        SignatureCase{"blend", "BLENDER"s, "BLEND"}, SignatureCase{"bmp", "BM"s, "BMP"},
        SignatureCase{"bz2", "BZh"s, "BZ2"}, SignatureCase{"cws", "CWS"s, "SWF"},
        SignatureCase{"gif87", "GIF87a"s, "GIF87A"}, SignatureCase{"gif89", "GIF89a"s, "GIF89A"},
        SignatureCase{"chm", "ITSF\x03\x00\x00\x00\x60\x00\x00\x00"s, "CHM"},
        SignatureCase{"cab", "MSCF"s, "CAB"}, SignatureCase{"midi", "MThd"s, "MID/MIDI"},
        SignatureCase{"nui", "NURUIMG"s, "NUI"}, SignatureCase{"nup", "NURUPAL"s, "NUP"},
        SignatureCase{"ogg", "OggS"s, "OGG/OGA/OGV"}, SignatureCase{"pbm", "P1\n"s, "PBM"},
        SignatureCase{"ppm", "P3\n"s, "PPM"}, SignatureCase{"zip", "PK\x03\x04"s, "ZIP"},
        SignatureCase{"zipEmpty", "PK\x05\x06"s, "ZIP (E)"},
        SignatureCase{"sqlite", "SQLite format 3\x00"s, "SQLITE/DB"},
        SignatureCase{"dpxLe", "XPDS"s, "DPX (LE)"}, SignatureCase{"arj", "\x60\xEA"s, "ARJ"},
        SignatureCase{"flac", "fLaC"s, "FLAC"}, SignatureCase{"3gp", "ftyp3g"s, "3GP"},
        SignatureCase{"xcf", "gimp xcf"s, "XCF"}, SignatureCase{"exr", "v/1\x01"s, "EXR"},
        SignatureCase{"rtf", "{\\rtf1"s, "RTF"}, SignatureCase{"cin", "\x80\x2A\x5F\xD7"s, "CIN"},
        SignatureCase{"png", "\x89PNG\r\n\x1A\n"s, "PNG"},
        SignatureCase{"class", "\xCA\xFE\xBA\xBE"s, "CLASS"},
        SignatureCase{"doc", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"s, "DOC/XLS/PPT"},
        SignatureCase{"wmf", "\xD7\xCD\xC6\x9A"s, "WMF"},
        SignatureCase{"xz",
                      "\xFD"
                      "7zXZ\x00"s,
                      "XZ"},
        SignatureCase{"jpg", "\xFF\xD8\xFF\xDB"s, "JPG"},
        SignatureCase{"jpeg", "\xFF\xD8\xFF\xEE"s, "JPEG"},
        SignatureCase{"mp3", "\xFF\xFB"s, "MP3"}),
    [](const auto& info) { return test::caseName(info.param.label); });

} // namespace
} // namespace kx::engine
