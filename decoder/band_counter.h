#pragma once

#include <cstdint>

namespace kx::decoder {

// The count of pieces claimed so far of a page that several decoder processes write at once,
// in a small shared memory file that travels to each of them with its request: whichever
// decoder is free claims the next piece, so that they finish together however late one of
// them started. Any thread of any process holding the file.
class BandCounter {
public:
    // A new counter at 0 in a memory file of its own; not valid when none can be made.
    BandCounter();
    // The counter in the memory file `fd`, taken over; not valid when it cannot be mapped.
    explicit BandCounter(int fd);
    BandCounter(const BandCounter&) = delete;
    BandCounter& operator=(const BandCounter&) = delete;
    ~BandCounter();

    bool valid() const { return m_count != nullptr; }
    // The memory file, to pass to another process; -1 when not valid.
    int fd() const { return m_fd; }
    // The next claim: 0, 1, 2, ... across every process sharing the counter, each number once.
    // Only when valid.
    uint32_t claim();

private:
    void map();

    int m_fd = -1;
    uint32_t* m_count = nullptr;
};

} // namespace kx::decoder
