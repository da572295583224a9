#include "decoder/tiff/direct_bmp.h"
#include "decoder/tiff/loading.h"
#include "decoder/tiff/page_budget.h"
#include "engine/conversion_worker.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "imaging/saving.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kx::decoder {
namespace {

using test::TempDir;

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// How a synthetic page states its resolution.
enum class Resolution {
    Inch72,
    Inch96Half,
    Centimetre,
    CentimetreOdd,
    Missing,
    Zero,
    NoUnit,
    NoUnitZero,
    UnitOnly
};

// One synthetic page, written with libtiff straight from these fields.
struct Synthetic {
    std::string name;
    uint32_t width = 7;
    uint32_t height = 5;
    uint16_t samples = 3;
    uint16_t bits = 8;
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t predictor = 0;    // 0: no Predictor tag
    uint32_t rowsPerStrip = 0; // 0: one strip
    Resolution resolution = Resolution::Inch72;
    uint16_t orientation = 0; // 0: no Orientation tag
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    bool extraAlpha = false; // a fourth sample declared as alpha
    bool tiled = false;
    bool separate = false;
    bool paddingBitsSet = false; // the unused low bits of each row's last byte set
    // The 16-bit sample at (x, y); 8-bit and 1-bit pages take its low bits.
    std::function<uint16_t(uint32_t, uint32_t, uint16_t)> value = [](uint32_t x, uint32_t y,
                                                                     uint16_t s) {
        return static_cast<uint16_t>(x * 37 + y * 101 + s * 59 + (x * y) % 7);
    };
    bool eligible = true;
};

void setResolution(TIFF* t, Resolution resolution) {
    const auto both = [t](float x, float y) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, x);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, y);
    };
    switch (resolution) {
    case Resolution::Inch72:
        both(72, 72);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        break;
    case Resolution::Inch96Half:
        both(96.5f, 203.3f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        break;
    case Resolution::Centimetre:
        both(39.3755f, 47.24f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        break;
    case Resolution::CentimetreOdd:
        both(0.004f, 1e6f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        break;
    case Resolution::Missing:
        break;
    case Resolution::Zero:
        both(0, 0);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        break;
    case Resolution::NoUnit:
        both(150, 300);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
        break;
    case Resolution::NoUnitZero:
        both(0, 150);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
        break;
    case Resolution::UnitOnly:
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        break;
    }
}

// The page's rows, top row first, packed as the TIFF stores them.
std::vector<uint8_t> pixelRows(const Synthetic& page) {
    const uint16_t samples = page.samples + (page.extraAlpha ? 1 : 0);
    const size_t rowBytes = (size_t{page.width} * samples * page.bits + 7) / 8;
    std::vector<uint8_t> data(rowBytes * page.height, 0);
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* row = data.data() + y * rowBytes;
        for (uint32_t x = 0; x < page.width; ++x) {
            for (uint16_t s = 0; s < samples; ++s) {
                const uint16_t v = page.value(x, y, s);
                const size_t i = size_t{x} * samples + s;
                if (page.bits < 8) {
                    const size_t bit = i * page.bits;
                    const unsigned shift = 8 - page.bits - bit % 8;
                    row[bit / 8] |= static_cast<uint8_t>((v & ((1u << page.bits) - 1)) << shift);
                } else if (page.bits == 8) {
                    row[i] = static_cast<uint8_t>(v);
                } else if (page.bits == 16) {
                    std::memcpy(row + 2 * i, &v, 2);
                } else {
                    const float f = v / 65535.0f;
                    std::memcpy(row + 4 * i, &f, 4);
                }
            }
        }
    }
    const unsigned unused =
        static_cast<unsigned>(rowBytes * 8 - size_t{page.width} * samples * page.bits);
    for (uint32_t y = 0; y < page.height && page.paddingBitsSet; ++y)
        data[(y + 1) * rowBytes - 1] |= static_cast<uint8_t>((1u << unused) - 1);
    return data;
}

bool writeSynthetic(const std::string& path, const Synthetic& page) {
    TiffHandle tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff)
        return false;
    TIFF* t = tiff.get();
    const uint16_t samples = page.samples + (page.extraAlpha ? 1 : 0);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG,
                 page.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (page.predictor)
        TIFFSetField(t, TIFFTAG_PREDICTOR, page.predictor);
    if (page.orientation)
        TIFFSetField(t, TIFFTAG_ORIENTATION, page.orientation);
    if (page.extraAlpha) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    setResolution(t, page.resolution);
    const std::vector<uint8_t> data = pixelRows(page);
    const size_t rowBytes = data.size() / page.height;
    if (page.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        const size_t tileRow = size_t{16} * samples * page.bits / 8;
        std::vector<uint8_t> tile(16 * tileRow);
        for (uint32_t top = 0; top < page.height; top += 16) {
            for (uint32_t left = 0; left < page.width; left += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                const size_t at = size_t{left} * samples * page.bits / 8;
                for (uint32_t y = top; y < std::min(top + 16, page.height); ++y)
                    std::memcpy(tile.data() + (y - top) * tileRow, data.data() + y * rowBytes + at,
                                std::min(tileRow, rowBytes - at));
                if (TIFFWriteTile(t, tile.data(), left, top, 0, 0) < 0)
                    return false;
            }
        }
        return true;
    }
    const uint32_t rows = page.rowsPerStrip ? page.rowsPerStrip : page.height;
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
    if (page.separate) {
        // One plane per strip set: each sample of every pixel, row by row.
        const size_t planeRow = size_t{page.width} * page.bits / 8;
        for (uint16_t s = 0; s < samples; ++s) {
            std::vector<uint8_t> plane(planeRow * page.height);
            for (size_t i = 0; i < size_t{page.width} * page.height; ++i)
                plane[i] = data[i * samples + s];
            for (uint32_t top = 0; top < page.height; top += rows) {
                const uint32_t count = std::min(rows, page.height - top);
                if (TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, top, s),
                                          plane.data() + top * planeRow,
                                          static_cast<tmsize_t>(count * planeRow)) < 0)
                    return false;
            }
        }
        return true;
    }
    for (uint32_t top = 0; top < page.height; top += rows) {
        const uint32_t count = std::min(rows, page.height - top);
        if (TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, top, 0),
                                  const_cast<uint8_t*>(data.data()) + top * rowBytes,
                                  static_cast<tmsize_t>(count * rowBytes)) < 0)
            return false;
    }
    return true;
}

Synthetic rgb(std::string name) {
    Synthetic page;
    page.name = std::move(name);
    return page;
}

Synthetic grey(std::string name) {
    Synthetic page = rgb(std::move(name));
    page.samples = 1;
    page.photometric = PHOTOMETRIC_MINISBLACK;
    return page;
}

Synthetic bilevel(std::string name, uint16_t photometric) {
    Synthetic page = grey(std::move(name));
    page.bits = 1;
    page.photometric = photometric;
    page.value = [](uint32_t x, uint32_t y, uint16_t) {
        return static_cast<uint16_t>((x * 3 + y * 5 + x / 4) % 3 == 0);
    };
    return page;
}

Synthetic grey16(std::string name, std::function<uint16_t(uint32_t, uint32_t, uint16_t)> value) {
    Synthetic page = grey(std::move(name));
    page.bits = 16;
    page.value = std::move(value);
    return page;
}

template <typename Change> Synthetic with(Synthetic page, Change change) {
    change(page);
    return page;
}

std::vector<Synthetic> syntheticPages() {
    std::vector<Synthetic> pages;
    // Every width from 1 to 33 for row padding and bit packing, in each kind.
    for (uint32_t width = 1; width <= 33; ++width) {
        const std::string w = std::to_string(width);
        pages.push_back(with(rgb("rgb-w" + w), [&](Synthetic& p) { p.width = width; }));
        pages.push_back(with(grey("grey-w" + w), [&](Synthetic& p) { p.width = width; }));
        pages.push_back(with(bilevel("white-w" + w, PHOTOMETRIC_MINISWHITE),
                             [&](Synthetic& p) { p.width = width; }));
        pages.push_back(with(bilevel("black-w" + w, PHOTOMETRIC_MINISBLACK),
                             [&](Synthetic& p) { p.width = width; }));
    }
    // A row longer than the writer's buffer.
    pages.push_back(with(rgb("rgb-wide"), [](Synthetic& p) {
        p.width = 400'000;
        p.height = 2;
    }));
    const auto ramp16 = [](uint32_t x, uint32_t y, uint16_t) {
        return static_cast<uint16_t>(1000 + x * 977 + y * 3001);
    };
    for (uint32_t width : {1u, 3u, 6u, 13u}) {
        pages.push_back(with(grey16("grey16-w" + std::to_string(width), ramp16),
                             [&](Synthetic& p) { p.width = width; }));
    }
    // Compressions and predictors, over several strips, or tiles (the last column and row of
    // them reaching past the page).
    for (const uint16_t compression :
         {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS}) {
        for (const bool tiled : {false, true}) {
            const std::string c = (tiled ? "tiled-c" : "c") + std::to_string(compression);
            const auto big = [compression, tiled](Synthetic& p) {
                p.width = 29;
                p.height = 23;
                p.rowsPerStrip = 4;
                p.compression = compression;
                p.tiled = tiled;
            };
            pages.push_back(with(rgb("rgb-c" + c), big));
            pages.push_back(with(grey("grey-c" + c), big));
            pages.push_back(with(grey16("grey16-c" + c, ramp16), big));
            pages.push_back(with(bilevel("white-c" + c, PHOTOMETRIC_MINISWHITE), big));
            if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE) {
                const auto differenced = [&](Synthetic& p) {
                    big(p);
                    p.predictor = PREDICTOR_HORIZONTAL;
                };
                pages.push_back(with(rgb("rgb-p2-c" + c), differenced));
                pages.push_back(with(grey("grey-p2-c" + c), differenced));
                pages.push_back(with(grey16("grey16-p2-c" + c, ramp16), differenced));
            }
        }
    }
    for (const uint16_t compression : {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3,
                                       COMPRESSION_CCITTFAX4, COMPRESSION_CCITTRLEW}) {
        for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
            pages.push_back(with(
                bilevel("fax" + std::to_string(compression) + "-" + std::to_string(photometric),
                        photometric),
                [&](Synthetic& p) {
                    p.compression = compression;
                    p.width = 45;
                    p.height = 17;
                    p.rowsPerStrip = 5;
                }));
        }
    }
    // Bits past the last pixel are copied as they are stored.
    for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        pages.push_back(with(bilevel("padding-bits-" + std::to_string(photometric), photometric),
                             [](Synthetic& p) {
                                 p.width = 13;
                                 p.paddingBitsSet = true;
                             }));
    }
    // Single rows and strips of one row.
    pages.push_back(with(rgb("rgb-one-row"), [](Synthetic& p) { p.height = 1; }));
    pages.push_back(
        with(bilevel("white-one-row", PHOTOMETRIC_MINISWHITE), [](Synthetic& p) { p.height = 1; }));
    pages.push_back(with(grey("grey-row-strips"), [](Synthetic& p) { p.rowsPerStrip = 1; }));
    pages.push_back(with(grey16("grey16-one-row", ramp16), [](Synthetic& p) { p.height = 1; }));
    // The resolution in every form FreeImage's loader reads.
    for (const auto& [label, resolution] :
         std::vector<std::pair<std::string, Resolution>>{{"inch-odd", Resolution::Inch96Half},
                                                         {"cm", Resolution::Centimetre},
                                                         {"cm-odd", Resolution::CentimetreOdd},
                                                         {"missing", Resolution::Missing},
                                                         {"zero", Resolution::Zero},
                                                         {"no-unit", Resolution::NoUnit},
                                                         {"no-unit-zero", Resolution::NoUnitZero},
                                                         {"unit-only", Resolution::UnitOnly}}) {
        pages.push_back(with(rgb("rgb-res-" + label),
                             [resolution](Synthetic& p) { p.resolution = resolution; }));
        pages.push_back(with(grey16("grey16-res-" + label, ramp16),
                             [resolution](Synthetic& p) { p.resolution = resolution; }));
        pages.push_back(with(bilevel("black-res-" + label, PHOTOMETRIC_MINISBLACK),
                             [resolution](Synthetic& p) { p.resolution = resolution; }));
    }
    // FreeImage's linear scaling: its range starts as 255..0 before the samples count.
    const std::vector<std::pair<std::string, std::function<uint16_t(uint32_t, uint32_t, uint16_t)>>>
        ranges = {
            {"even-4660", [](uint32_t, uint32_t, uint16_t) { return uint16_t{4660}; }},
            {"even-100", [](uint32_t, uint32_t, uint16_t) { return uint16_t{100}; }},
            {"even-255", [](uint32_t, uint32_t, uint16_t) { return uint16_t{255}; }},
            {"even-0", [](uint32_t, uint32_t, uint16_t) { return uint16_t{0}; }},
            {"full",
             [](uint32_t x, uint32_t y, uint16_t) {
                 return static_cast<uint16_t>(x == 0 && y == 0 ? 0 : x == 1 ? 65535 : x * 9973 + y);
             }},
            {"low",
             [](uint32_t x, uint32_t y, uint16_t) { return static_cast<uint16_t>(10 + x + y); }},
            {"high", [](uint32_t x, uint32_t y,
                        uint16_t) { return static_cast<uint16_t>(300 + x * 700 + y); }},
            {"two-levels", [](uint32_t x, uint32_t,
                              uint16_t) { return static_cast<uint16_t>(x % 2 ? 40000 : 20000); }},
        };
    for (const auto& [label, value] : ranges)
        pages.push_back(grey16("grey16-" + label, value));

    // Pages left to the FreeImage path.
    const auto refused = [](Synthetic page) {
        page.eligible = false;
        return page;
    };
    pages.push_back(refused(with(rgb("rgb-alpha"), [](Synthetic& p) { p.extraAlpha = true; })));
    pages.push_back(refused(with(rgb("rgb-separate"), [](Synthetic& p) { p.separate = true; })));
    pages.push_back(refused(with(rgb("rgb-flipped"), [](Synthetic& p) { p.orientation = 3; })));
    pages.push_back(refused(with(rgb("rgb-jpeg"), [](Synthetic& p) {
        p.compression = COMPRESSION_JPEG;
        p.width = 16;
        p.height = 16;
    })));
    pages.push_back(refused(
        with(grey("grey-white"), [](Synthetic& p) { p.photometric = PHOTOMETRIC_MINISWHITE; })));
    pages.push_back(refused(with(grey16("grey16-white", ramp16),
                                 [](Synthetic& p) { p.photometric = PHOTOMETRIC_MINISWHITE; })));
    pages.push_back(refused(with(grey16("grey16-signed", ramp16),
                                 [](Synthetic& p) { p.sampleFormat = SAMPLEFORMAT_INT; })));
    pages.push_back(refused(with(grey("grey-4bit"), [](Synthetic& p) { p.bits = 4; })));
    pages.push_back(refused(with(grey("float"), [](Synthetic& p) {
        p.bits = 32;
        p.sampleFormat = SAMPLEFORMAT_IEEEFP;
    })));
    pages.push_back(refused(with(rgb("rgb16"), [](Synthetic& p) { p.bits = 16; })));
    return pages;
}

// The pages of `file` that the direct path accepts, by index.
std::vector<int> acceptedPages(const std::string& file) {
    TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
    std::vector<int> accepted;
    if (!tiff)
        return accepted;
    const uint64_t size = std::filesystem::file_size(file);
    int index = 0;
    do {
        if (directBmpPage(tiff.get(), readPageFacts(tiff.get(), size)))
            accepted.push_back(index);
        ++index;
    } while (TIFFReadDirectory(tiff.get()));
    return accepted;
}

int pageCount(const std::string& file) {
    TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
    return tiff ? TIFFNumberOfDirectories(tiff.get()) : 0;
}

// Writes page `index` of `file` directly to `output`; the problem, empty on success.
std::string writeDirect(const std::string& file, int index, const std::string& output) {
    TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
    if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(index)))
        return "cannot open";
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return "cannot create";
    std::string problem;
    const bool written =
        writeDirectBmp(tiff.get(), readPageFacts(tiff.get(), std::filesystem::file_size(file)), fd,
                       problem) == DirectWrite::Written;
    close(fd);
    if (written && !problem.empty())
        return "success with a problem: " + problem;
    return written ? std::string() : problem.empty() ? "failure without a problem" : problem;
}

// The size, depth and greyness directBmpPage reports are those of the page FreeImage loads.
void expectFactsOfLoadedPage(const std::string& file, int index) {
    TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
    ASSERT_TRUE(tiff && TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(index)));
    const std::optional<DirectPage> direct =
        directBmpPage(tiff.get(), readPageFacts(tiff.get(), std::filesystem::file_size(file)));
    ASSERT_TRUE(direct);
    auto source = openPagesInProcess(file);
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    imaging::Bitmap page = source->loadPage(index, info);
    ASSERT_NE(page, nullptr);
    const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(page.get());
    const bool grey = FreeImage_GetImageType(page.get()) == FIT_UINT16 ||
                      colour == FIC_MINISBLACK || colour == FIC_MINISWHITE;
    EXPECT_EQ(direct->width, FreeImage_GetWidth(page.get()));
    EXPECT_EQ(direct->height, FreeImage_GetHeight(page.get()));
    EXPECT_EQ(direct->sourceDepth, static_cast<int>(FreeImage_GetBPP(page.get())));
    EXPECT_EQ(direct->sourceGrey, grey);
}

// The pages of a decoder process, handed over as bitmaps only, never as finished files.
class BitmapsOnly final : public imaging::PageSource {
public:
    explicit BitmapsOnly(std::unique_ptr<imaging::PageSource> pages) : m_pages(std::move(pages)) {}
    int pageCount() const override { return m_pages->pageCount(); }
    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        return m_pages->loadPage(index, info);
    }
    void plan(int first, int end) override { m_pages->plan(first, end); }
    std::string fileProblem() override { return m_pages->fileProblem(); }

private:
    std::unique_ptr<imaging::PageSource> m_pages;
};

// Converts `file` the FreeImage way into `folder`: pages loaded by FreeImage in a decoder
// process (FreeImage aborts on some pages) and saved by the chain here at the command line's
// default settings.
void convertWithFreeImage(const std::string& file, const std::string& folder) {
    settings::Settings settings;
    settings::applyDefaults(settings, true);
    engine::JobState job;
    engine::JobQueue queue;
    engine::resetJobState(job, queue);
    job.outputFolder = folder + "/";
    job.outputFormatKey = "bmp";
    job.freeImageFormat = FIF_BMP;
    job.autoDepth = true;
    job.saveFlags = imaging::computeSaveFlags("bmp", settings);
    ASSERT_TRUE(engine::setInputFile(job, queue, file));
    engine::Progress progress;
    progress.reset();
    engine::ConversionRun run{settings, job, queue, progress};
    run.openPages = [](const std::string& path) -> std::unique_ptr<imaging::PageSource> {
        std::unique_ptr<imaging::PageSource> pages = openPagesContained(path);
        return pages ? std::make_unique<BitmapsOnly>(std::move(pages)) : nullptr;
    };
    engine::conversionWorker(run);
}

// Checks that each page of `file` written directly has the bytes of the FreeImage way's file
// for it, made in `folder`.
void expectSameBytesAsFreeImage(const std::string& file, const TempDir& dir,
                                const std::string& folder) {
    std::filesystem::create_directories(folder);
    convertWithFreeImage(file, folder);
    const std::string stem = std::filesystem::path(file).stem().string();
    const int count = pageCount(file);
    for (const int index : acceptedPages(file)) {
        const std::string suffix = count > 1 ? "[" + std::to_string(index + 1) + "]" : "";
        const std::string reference = folder + "/" + stem + suffix + ".bmp";
        const std::string direct = folder + "/direct" + suffix + ".bmp";
        const std::string expected = test::readFile(reference);
        const std::string problem = writeDirect(file, index, direct);
        if (expected.empty()) {
            // The program could not convert the page: neither can the direct path.
            EXPECT_NE(problem, "") << reference;
            continue;
        }
        ASSERT_EQ(problem, "") << reference;
        expectFactsOfLoadedPage(file, index);
        const std::string got = test::readFile(direct);
        ASSERT_EQ(got.size(), expected.size()) << reference;
        size_t first = 0;
        while (first < got.size() && got[first] == expected[first])
            ++first;
        EXPECT_EQ(first, got.size()) << reference << ": first difference at byte " << first;
    }
}

TEST(DirectBmpTest, AcceptedPagesHaveTheBytesOfTheFreeImagePathAndOthersAreRefused) {
    TempDir dir;
    for (const Synthetic& page : syntheticPages()) {
        SCOPED_TRACE(page.name);
        const std::string file = dir.file(page.name + ".tif");
        ASSERT_TRUE(writeSynthetic(file, page));
        EXPECT_EQ(acceptedPages(file), page.eligible ? std::vector<int>{0} : std::vector<int>{});
        expectSameBytesAsFreeImage(file, dir, dir.file("out-" + page.name));
    }
    // The samples kept with the tests, each page compared where it is accepted.
    const std::vector<std::pair<std::string, std::vector<int>>> samples = {
        {"BigTIFFMotorola.tif", {0}},
        {"fax2d.tif", {0}},
        {"fuzz-ascii-tag-overread.tif", {0}},
        {"g4-multi.tiff", {0, 1, 2}},
        {"lzw-predictor2-irfanview.tif", {0}},
        {"minisblack-1c-16b.tiff", {0}},
        {"miniswhite-1c-1b.tiff", {0}},
        {"shapes_lzw_bigendian_iptc.tif", {0}},
        {"shapes_multi_color.tif", {0, 2}},
        {"test_ifd_loop_to_first.tif", {0, 1}},
        {"testfax4.tiff", {0}},
        {"testfax4-truncated.tiff", {0}},
        {"uint16_1_4660.tif", {0}},
    };
    for (const auto& entry : std::filesystem::directory_iterator(KX_TEST_DATA_DIR)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".tif") && !name.ends_with(".tiff"))
            continue;
        SCOPED_TRACE(name);
        std::vector<int> expected;
        for (const auto& [sample, pages] : samples)
            expected = sample == name ? pages : expected;
        EXPECT_EQ(acceptedPages(entry.path().string()), expected);
        expectSameBytesAsFreeImage(entry.path().string(), dir, dir.file("out-" + name));
    }
}

TEST(DirectBmpTest, DamagedStripFailsWithAProblemAsInTheProgram) {
    TempDir dir;
    const auto noisy = [](uint32_t x, uint32_t y, uint16_t s) {
        return static_cast<uint16_t>((x * x * 7 + y * 13 + s) ^ (x * y));
    };
    // LZW codes that stop before the rows do; G4 codes that make no sense, which the fax
    // decoder reports as an error but then reads past, its read reporting success.
    const Synthetic pages[] = {
        with(rgb("lzw"),
             [&](Synthetic& p) {
                 p.compression = COMPRESSION_LZW;
                 p.width = p.height = 64;
                 p.value = noisy;
             }),
        with(bilevel("fax", PHOTOMETRIC_MINISWHITE),
             [&](Synthetic& p) {
                 p.compression = COMPRESSION_CCITTFAX4;
                 p.width = p.height = 64;
                 p.value = noisy;
             }),
    };
    for (const Synthetic& page : pages) {
        SCOPED_TRACE(page.name);
        const std::string file = dir.file(page.name + ".tif");
        ASSERT_TRUE(writeSynthetic(file, page));
        ASSERT_TRUE(test::damageStrip(file, 0, page.compression == COMPRESSION_LZW ? 1u << 20 : 2));
        EXPECT_NE(writeDirect(file, 0, dir.file(page.name + "-direct.bmp")), "");
        convertWithFreeImage(file, dir.path().string());
        EXPECT_FALSE(std::filesystem::exists(dir.file(page.name + ".bmp")));
    }
    EXPECT_NE(writeDirect(test::corpusFile("testfax4-truncated.tiff"), 0, dir.file("fax.bmp")), "");
}

TEST(DirectBmpTest, FailedWriteFailsWithAProblem) {
    TempDir dir;
    const std::string file = dir.file("page.tif");
    ASSERT_TRUE(writeSynthetic(file, rgb("page")));
    TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
    ASSERT_NE(tiff, nullptr);
    const PageFacts facts = readPageFacts(tiff.get(), std::filesystem::file_size(file));
    std::string problem;
    // A full device, then a descriptor that is already closed.
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_EQ(writeDirectBmp(tiff.get(), facts, full, problem), DirectWrite::Unwritable);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_NE(problem, "");
    close(full);
    const int closed = open(dir.file("closed.bmp").c_str(), O_WRONLY | O_CREAT, 0644);
    close(closed);
    problem.clear();
    errno = 0;
    EXPECT_EQ(writeDirectBmp(tiff.get(), facts, closed, problem), DirectWrite::Unwritable);
    EXPECT_EQ(errno, EBADF);
    EXPECT_NE(problem, "");
}

// Two writers filling one file side by side, in any order, make the very file written whole;
// only pages large enough and of enough strips say they split.
TEST(DirectBmpTest, PartsWrittenSideBySideMakeTheFileWrittenWhole) {
    TempDir dir;
    const auto size = [](uint32_t width, uint32_t height, uint32_t rowsPerStrip) {
        return [=](Synthetic& p) {
            p.width = width;
            p.height = height;
            p.rowsPerStrip = rowsPerStrip;
            p.compression = COMPRESSION_LZW;
        };
    };
    const auto tiled = [](Synthetic& p) { p.tiled = true; };
    const auto ramp16 = [](uint32_t x, uint32_t y, uint16_t) {
        return static_cast<uint16_t>(x * 977 + y * 3001);
    };
    const struct {
        Synthetic page;
        bool splits;
    } cases[] = {
        {with(rgb("rgb-strips-of-a-row"), size(1500, 1000, 1)), true},
        {with(grey16("grey16-strips-past-a-band", ramp16), size(1100, 4000, 1000)), true},
        {with(rgb("rgb-ragged-strips"), size(1500, 1001, 7)), true},
        {with(with(rgb("rgb-tiles"), size(1500, 1000, 0)), tiled), true},
        {with(rgb("rgb-one-strip"), size(1500, 1000, 0)), false},
        {with(rgb("rgb-small"), size(600, 400, 1)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page.name);
        const std::string file = dir.file(c.page.name + ".tif");
        ASSERT_TRUE(writeSynthetic(file, c.page));
        const std::string whole = dir.file(c.page.name + "-whole.bmp");
        ASSERT_EQ(writeDirect(file, 0, whole), "");
        TiffHandle tiff(TIFFOpen(file.c_str(), "rm"));
        ASSERT_NE(tiff, nullptr);
        const PageFacts facts = readPageFacts(tiff.get(), std::filesystem::file_size(file));
        const std::optional<DirectPage> direct = directBmpPage(tiff.get(), facts);
        ASSERT_TRUE(direct);
        EXPECT_EQ(direct->splits, c.splits);
        const std::string parts = dir.file(c.page.name + "-parts.bmp");
        const int fd = open(parts.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        // The bands dealt out alternately, the second writer's written first.
        std::string problem;
        for (const uint32_t writer : {1, 0}) {
            uint32_t next = writer;
            const PagePart part{writer == 0, [&next] { return std::exchange(next, next + 2); }};
            EXPECT_EQ(writeDirectBmpPart(tiff.get(), facts, fd, part, problem),
                      DirectWrite::Written)
                << problem;
        }
        close(fd);
        EXPECT_TRUE(test::readFile(parts) == test::readFile(whole));
    }
}

} // namespace
} // namespace kx::decoder