#include "bench/AllocCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

// glibc's own entry points; the wrappers below stand in front of them for
// the whole process, the Qt libraries included.
extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_calloc(size_t count, size_t size);
extern "C" void *__libc_realloc(void *old, size_t size);
extern "C" void *__libc_memalign(size_t alignment, size_t size);
extern "C" void __libc_free(void *p);

namespace {

std::atomic<uint64_t> gAllocations{0};

void countOne() { gAllocations.fetch_add(1, std::memory_order_relaxed); }

// operator new goes to glibc directly, so it is counted once.
void *allocate(size_t size)
{
    countOne();
    return __libc_malloc(size ? size : 1);
}

void *allocateAligned(size_t size, std::align_val_t alignment)
{
    countOne();
    return __libc_memalign(static_cast<size_t>(alignment), size ? size : 1);
}

}  // namespace

uint64_t allocationCount() { return gAllocations.load(std::memory_order_relaxed); }

extern "C" void *malloc(size_t size)
{
    countOne();
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    countOne();
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *old, size_t size)
{
    countOne();
    return __libc_realloc(old, size);
}

extern "C" void free(void *p) { __libc_free(p); }

void *operator new(size_t size)
{
    void *p = allocate(size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new[](size_t size)
{
    void *p = allocate(size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new(size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return allocate(size); }

void *operator new(size_t size, std::align_val_t alignment)
{
    void *p = allocateAligned(size, alignment);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new[](size_t size, std::align_val_t alignment)
{
    void *p = allocateAligned(size, alignment);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new(size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocateAligned(size, alignment);
}

void *operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept
{
    return allocateAligned(size, alignment);
}

void operator delete(void *p) noexcept { __libc_free(p); }
void operator delete[](void *p) noexcept { __libc_free(p); }
void operator delete(void *p, size_t) noexcept { __libc_free(p); }
void operator delete[](void *p, size_t) noexcept { __libc_free(p); }
void operator delete(void *p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void *p, size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void *p, size_t, std::align_val_t) noexcept { __libc_free(p); }
