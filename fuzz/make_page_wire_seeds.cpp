#include "decoder/wire/descriptor_passing.h"
#include "decoder/wire/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

// Writes the seeds of page_wire_fuzz: conversations as the real message writers send them, in
// the fuzz target's input form (a flags byte, the memory file's size and offset when one is
// passed, then the stream). Usage: make_page_wire_seeds FOLDER

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

namespace {

using namespace kx;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "make_page_wire_seeds: %s\n", what.c_str());
    std::exit(1);
}

// One stream of messages, collected from the socket the writers write to.
class Conversation {
public:
    Conversation() {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_ends) != 0)
            fail("no socket");
        fcntl(m_ends[0], F_SETFL, O_NONBLOCK);
    }
    ~Conversation() {
        close(m_ends[0]);
        close(m_ends[1]);
    }

    // Runs one writer and collects what it sent, so that each message fits the socket's buffer
    // on its own.
    void add(const std::function<bool(int)>& write) {
        const size_t start = m_stream.size();
        if (!write(m_ends[1]))
            fail("a writer failed");
        for (;;) {
            char buffer[1 << 16];
            int passed = -1;
            const ssize_t got = decoder::receiveMessage(m_ends[0], buffer, sizeof buffer, passed);
            if (got <= 0)
                break;
            if (passed >= 0) {
                struct stat facts {};
                if (m_memoryFileSize >= 0 || fstat(passed, &facts) != 0)
                    fail("one memory file a seed");
                m_memoryFileSize = facts.st_size;
                m_memoryFileOffset = start;
                close(passed);
            }
            m_stream.append(buffer, static_cast<size_t>(got));
        }
    }

    void save(const std::string& folder, const std::string& name, bool encodedPages) const {
        std::string seed(
            1, static_cast<char>((m_memoryFileSize >= 0 ? 1 : 0) | (encodedPages ? 2 : 0)));
        if (m_memoryFileSize >= 0) {
            appendLittleEndian(seed, static_cast<uint32_t>(m_memoryFileSize), 4);
            appendLittleEndian(seed, static_cast<uint32_t>(m_memoryFileOffset), 2);
        }
        seed += m_stream;
        std::ofstream(folder + "/" + name, std::ios::binary | std::ios::trunc) << seed;
    }

private:
    static void appendLittleEndian(std::string& to, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            to += static_cast<char>(value >> (8 * i) & 0xFF);
    }

    int m_ends[2] = {-1, -1};
    std::string m_stream;
    off_t m_memoryFileSize = -1;
    size_t m_memoryFileOffset = 0;
};

imaging::Bitmap page(FREE_IMAGE_TYPE type, int width, int height, int bpp) {
    imaging::Bitmap made(FreeImage_AllocateT(type, width, height, bpp));
    if (!made)
        fail("no page");
    BYTE* bits = FreeImage_GetBits(made.get());
    const size_t size = size_t{FreeImage_GetPitch(made.get())} * FreeImage_GetHeight(made.get());
    for (size_t i = 0; i < size; ++i)
        bits[i] = static_cast<BYTE>(i * 37);
    return made;
}

// A palette page with everything a header can carry: transparency, a background colour and
// a resolution.
imaging::Bitmap palettePage() {
    imaging::Bitmap made = page(FIT_BITMAP, 5, 3, 8);
    RGBQUAD* palette = FreeImage_GetPalette(made.get());
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
    BYTE transparency[4] = {0, 64, 128, 255};
    FreeImage_SetTransparencyTable(made.get(), transparency, 4);
    RGBQUAD background{1, 2, 3, 0};
    FreeImage_SetBackgroundColor(made.get(), &background);
    FreeImage_SetDotsPerMeterX(made.get(), 2835);
    FreeImage_SetDotsPerMeterY(made.get(), 11811);
    return made;
}

imaging::PageInfo info(int compression, std::string problem = {}) {
    imaging::PageInfo made;
    made.sourceCompression = compression;
    made.problem = std::move(problem);
    return made;
}

int memoryFile(size_t size) {
    const int fd = memfd_create("page-wire-seed", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        fail("no memory file");
    return fd;
}

void writeWorkerSeeds(const std::string& folder) {
    {
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 3); });
        c.add([](int fd) { return decoder::writePage(fd, palettePage().get(), info(5)); });
        c.add([](int fd) {
            return decoder::writePage(fd, nullptr, info(7, "the page's strips cannot be read"));
        });
        c.add([](int fd) { return decoder::writePage(fd, page(FIT_BITMAP, 7, 2, 24).get(), {}); });
        c.add([](int fd) {
            return decoder::writeFileReport(
                fd, {"", "directory 2 is a transparency mask, not a page\n"});
        });
        c.save(folder, "bitmap_pages", false);
    }
    {
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 3); });
        const std::pair<FREE_IMAGE_TYPE, int> types[] = {
            {FIT_BITMAP, 1}, {FIT_UINT16, 16}, {FIT_RGBAF, 128}};
        for (const auto& [type, bpp] : types)
            c.add([type = type, bpp = bpp](int fd) {
                return decoder::writePage(fd, page(type, 9, 2, bpp).get(), info(1));
            });
        c.add([](int fd) { return decoder::writeFileReport(fd, {}); });
        c.save(folder, "bitmap_page_types", false);
    }
    {
        // Above the inline limit, the pixels come in a memory file.
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 1); });
        c.add([](int fd) {
            return decoder::writePage(fd, page(FIT_BITMAP, 256, 160, 32).get(), info(8));
        });
        c.add([](int fd) {
            return decoder::writeFileReport(fd, {"the directory chain loops back to page 1"});
        });
        c.save(folder, "bitmap_page_in_memory_file", false);
    }
    {
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 3); });
        c.add([](int fd) {
            imaging::EncodedPage inline_;
            inline_.width = 4;
            inline_.height = 2;
            inline_.sourceDepth = 8;
            inline_.sourceGrey = true;
            inline_.setBytes("BM" + std::string(60, '\x01'));
            return decoder::writeEncodedPage(fd, inline_, info(1));
        });
        c.add([](int fd) {
            imaging::EncodedPage written;
            written.width = 640;
            written.height = 480;
            written.sourceDepth = 24;
            written.setInOutput(921654);
            return decoder::writeEncodedPage(fd, written, info(5));
        });
        c.add([](int fd) {
            return decoder::writeEncodedPage(fd, {}, info(4, "cannot decode page 3"));
        });
        c.add([](int fd) { return decoder::writeFileReport(fd, {}); });
        c.save(folder, "finished_pages", true);
    }
    {
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 1); });
        c.add([](int fd) {
            imaging::EncodedPage large;
            large.width = 300;
            large.height = 222;
            large.sourceDepth = 24;
            large.setMemoryFile(memoryFile(200000), 200000);
            return decoder::writeEncodedPage(fd, large, info(1));
        });
        c.add([](int fd) { return decoder::writeFileReport(fd, {}); });
        c.save(folder, "finished_page_in_memory_file", true);
    }
    {
        Conversation c;
        c.add([](int fd) { return decoder::writePageCount(fd, 0); });
        c.add([](int fd) { return decoder::writeFileReport(fd, {"no directory"}); });
        c.save(folder, "no_pages", false);
    }
}

void writeDecoderSeeds(const std::string& folder) {
    using decoder::RequestKind;
    const auto page = [](int32_t index, int output = -1) {
        return decoder::Request{.kind = RequestKind::Page, .index = index, .output = output};
    };
    {
        Conversation c;
        for (const int32_t index : {0, 1, 2})
            c.add([&page, index](int fd) { return decoder::writeRequest(fd, page(index)); });
        c.add([](int fd) {
            return decoder::writeRequest(fd, {.kind = RequestKind::Open, .path = "/tmp/a.tif"});
        });
        c.add([](int fd) { return decoder::writeRequest(fd, {.kind = RequestKind::FileReport}); });
        c.add([](int fd) { return decoder::writeRequest(fd, {.kind = RequestKind::End}); });
        c.save(folder, "requests", false);
    }
    {
        Conversation c;
        c.add([](int fd) {
            decoder::Request encode{.kind = RequestKind::Encode};
            encode.recipe.freeImageFormat = FIF_BMP;
            encode.recipe.targetDepth = 24;
            encode.recipe.bmpColorTable = 1;
            std::strcpy(encode.recipe.formatKey, "bmp");
            return decoder::writeRequest(fd, encode);
        });
        c.add([&page](int fd) {
            decoder::Request request = page(0, memoryFile(0));
            request.shareCores = true;
            const bool sent = decoder::writeRequest(fd, request);
            close(request.output);
            return sent;
        });
        c.add([&page](int fd) { return decoder::writeRequest(fd, page(1)); });
        c.add([](int fd) { return decoder::writeRequest(fd, {.kind = RequestKind::End}); });
        c.save(folder, "encode_requests", false);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        fail("usage: make_page_wire_seeds FOLDER");
    writeWorkerSeeds(argv[1]);
    writeDecoderSeeds(argv[1]);
    return 0;
}
