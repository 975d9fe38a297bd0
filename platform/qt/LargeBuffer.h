#pragma once

#include <sys/mman.h>

#include <cstddef>

namespace tarno {

// A buffer of its own pages for a whole picture's worth of bytes, backed by huge pages where the
// system grants them: filling 100 MB of small pages costs tens of thousands of page faults, which
// on a virtual machine take longer than the work that fills them. Null when there is no memory.
class LargeBuffer
{
public:
    explicit LargeBuffer(size_t size) : m_size(size)
    {
        void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        madvise(p, size, MADV_HUGEPAGE);
        m_data = static_cast<unsigned char *>(p);
    }
    ~LargeBuffer()
    {
        if (m_data)
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
