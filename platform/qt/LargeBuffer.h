#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>

namespace tarno {

// A buffer for a whole picture's worth of bytes. Past 32 MB, glibc's malloc maps fresh small pages
// on every call, and filling 100 MB of them costs tens of thousands of page faults, which on a
// virtual machine take longer than the work that fills them: such a buffer gets pages of its own,
// huge ones where the system grants them. A smaller one comes from malloc, which hands back pages
// already faulted in by the last capture. Null when there is no memory.
class LargeBuffer
{
public:
    static constexpr size_t mappedFrom = size_t(32) * 1024 * 1024;

    explicit LargeBuffer(size_t size) : m_size(size)
    {
        if (size < mappedFrom) {
            m_data = static_cast<unsigned char *>(std::malloc(size));
            return;
        }
        void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        madvise(p, size, MADV_HUGEPAGE);
        m_data = static_cast<unsigned char *>(p);
    }
    ~LargeBuffer()
    {
        if (m_size < mappedFrom)
            std::free(m_data);
        else if (m_data)
            munmap(m_data, m_size);
    }
    LargeBuffer(const LargeBuffer &) = delete;
    LargeBuffer &operator=(const LargeBuffer &) = delete;

    unsigned char *get() const { return m_data; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    size_t m_size;
    unsigned char *m_data = nullptr;
};

} // namespace tarno
