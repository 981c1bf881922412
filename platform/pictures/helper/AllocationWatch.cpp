// The C allocator of the helper process, replaced (as glibc allows a program to) by one that forwards to
// glibc's own and notes when it refuses memory. Left out of builds with AddressSanitizer, which has an
// allocator of its own.
#include "AllocationWatch.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

namespace pravix
{
namespace helper
{
namespace
{

std::atomic<bool> gRefused{false};

}  // namespace

bool allocationRefused()
{
    return gRefused.load(std::memory_order_relaxed);
}

void noteAllocationRefused()
{
    gRefused.store(true, std::memory_order_relaxed);
}

}  // namespace helper
}  // namespace pravix

#if !defined(__SANITIZE_ADDRESS__) && !defined(PRAVIX_NO_ALLOCATION_WATCH)

extern "C"
{
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* memory);

namespace
{

void* noted(void* memory, size_t size)
{
    if (memory == nullptr && size != 0)
    {
        pravix::helper::noteAllocationRefused();
    }
    return memory;
}

bool powerOfTwo(size_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}

}  // namespace

void* malloc(size_t size)
{
    return noted(__libc_malloc(size), size);
}

void* calloc(size_t count, size_t size)
{
    return noted(__libc_calloc(count, size), count != 0 && size != 0 ? 1 : 0);
}

void* realloc(void* memory, size_t size)
{
    return noted(__libc_realloc(memory, size), size);
}

void free(void* memory)
{
    __libc_free(memory);
}

void* memalign(size_t alignment, size_t size)
{
    return noted(__libc_memalign(alignment, size), size);
}

void* aligned_alloc(size_t alignment, size_t size)
{
    return noted(__libc_memalign(alignment, size), size);
}

int posix_memalign(void** result, size_t alignment, size_t size)
{
    if (!powerOfTwo(alignment) || alignment % sizeof(void*) != 0)
    {
        return EINVAL;
    }
    void* memory = noted(__libc_memalign(alignment, size), size);
    if (memory == nullptr && size != 0)
    {
        return ENOMEM;
    }
    *result = memory;
    return 0;
}

void* valloc(size_t size)
{
    return noted(__libc_memalign(4096, size), size);
}

void* pvalloc(size_t size)
{
    return noted(__libc_memalign(4096, (size + 4095) & ~size_t(4095)), size);
}
}

#endif
