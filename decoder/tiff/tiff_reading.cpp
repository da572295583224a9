#include "decoder/tiff/tiff_reading.h"

#include "base/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace kx::decoder {

namespace {

// The buffer: enough for a directory and the tag values beside it, or for the directories of
// neighbouring small pages and the strips of tiny ones. Reads of a few kilobytes and more
// (strips) go straight into libtiff's buffer: through this one they would be copied twice.
constexpr size_t k_bufferSize = size_t{16} << 10;
constexpr size_t k_straightRead = size_t{4} << 10;
constexpr uint64_t k_alignment = 4096;
constexpr size_t k_linkSize = 8; // a directory's entry count or its link, BigTIFF's the largest

class BufferedFile {
public:
    BufferedFile(int fd, uint64_t size)
        : m_fd(fd), m_size(size), m_buffer(new (std::nothrow) uint8_t[k_bufferSize]) {}
    ~BufferedFile() { ::close(m_fd); }
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    uint64_t size() const { return m_size; }

    size_t readAt(uint64_t offset, void* data, size_t size) {
        if (offset >= m_size)
            return 0;
        size = static_cast<size_t>(std::min<uint64_t>(size, m_size - offset));
        if (size >= k_straightRead || !m_buffer)
            return base::readUpToAt(m_fd, offset, data, size);
        if (offset < m_start || offset + size > m_start + m_filled)
            fill(offset, size);
        const size_t available =
            offset >= m_start && offset < m_start + m_filled
                ? static_cast<size_t>(std::min<uint64_t>(size, m_start + m_filled - offset))
                : 0;
        std::memcpy(data, m_buffer.get() + (offset - m_start), available);
        return available;
    }

    // libtiff's file procedures.
    static tmsize_t readProc(thandle_t handle, void* data, tmsize_t size) {
        auto* file = static_cast<BufferedFile*>(handle);
        const size_t got = file->readAt(file->m_position, data, static_cast<size_t>(size));
        file->m_position += got;
        return static_cast<tmsize_t>(got);
    }
    static tmsize_t writeProc(thandle_t, void*, tmsize_t) { return -1; }
    static toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
        auto* file = static_cast<BufferedFile*>(handle);
        const uint64_t base = whence == SEEK_CUR   ? file->m_position
                              : whence == SEEK_END ? file->m_size
                                                   : 0;
        file->m_position = base + offset; // a negative offset arrives as its two's complement
        return file->m_position;
    }
    static int closeProc(thandle_t handle) {
        delete static_cast<BufferedFile*>(handle);
        return 0;
    }
    static toff_t sizeProc(thandle_t handle) { return static_cast<BufferedFile*>(handle)->m_size; }
    static int mapProc(thandle_t, void**, toff_t*) { return 0; }
    static void unmapProc(thandle_t, void*, toff_t) {}

private:
    // Reads from the page boundary below `offset` where the piece still fits, so that a read
    // just before the last one is served too. A page's strips are read from its last, so a
    // piece just below the buffer is read with the bytes before it rather than after it.
    // A walk along the directory chain reads a count and a link at each directory, a few
    // bytes far apart: a page of the file holds them, and copying more would be wasted.
    void fill(uint64_t offset, size_t size) {
        const size_t window = size <= k_linkSize ? k_alignment : k_bufferSize;
        uint64_t start = offset / k_alignment * k_alignment;
        if (m_filled > 0 && offset < m_start && offset + window > m_start) {
            const uint64_t end = (offset + size + k_alignment - 1) / k_alignment * k_alignment;
            start = end > window ? end - window : 0;
        }
        if (offset < start || offset + size > start + window)
            start = offset;
        m_start = start;
        m_filled = base::readUpToAt(m_fd, start, m_buffer.get(), window);
    }

    int m_fd;
    uint64_t m_size;
    uint64_t m_position = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint64_t m_start = 0; // the buffer holds the bytes from here
    size_t m_filled = 0;  // this many
};

} // namespace

TIFF* openBufferedTiff(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat facts {};
    if (fstat(fd, &facts) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto* file = new (std::nothrow) BufferedFile(fd, static_cast<uint64_t>(facts.st_size));
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    // "m": never mapped. libtiff closes the file with TIFFClose, but not when opening fails.
    // No name: libtiff would put it in front of many of its messages, and whoever reports
    // them names the file already.
    TIFF* tiff =
        TIFFClientOpen("", "rm", file, BufferedFile::readProc, BufferedFile::writeProc,
                       BufferedFile::seekProc, BufferedFile::closeProc, BufferedFile::sizeProc,
                       BufferedFile::mapProc, BufferedFile::unmapProc);
    if (!tiff)
        delete file;
    return tiff;
}

size_t readBufferedTiff(TIFF* tiff, uint64_t offset, void* data, size_t size) {
    return static_cast<BufferedFile*>(TIFFClientdata(tiff))->readAt(offset, data, size);
}

uint64_t bufferedTiffSize(TIFF* tiff) {
    return static_cast<BufferedFile*>(TIFFClientdata(tiff))->size();
}

} // namespace kx::decoder
