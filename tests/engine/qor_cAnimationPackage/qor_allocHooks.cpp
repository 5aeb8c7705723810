#include "qor_allocHooks.h"

#include <cstdlib>
#include <new>

namespace
{
long s_nAlloc = 0;
bool s_bFailNothrow = false;

void * allocate(std::size_t n)
{
    ++s_nAlloc;
    void * p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void * allocateNothrow(std::size_t n) noexcept
{
    ++s_nAlloc;
    return s_bFailNothrow ? nullptr : std::malloc(n ? n : 1);
}
} // namespace

namespace qort
{
long allocationCount() { return s_nAlloc; }
void setFailNothrowNew(bool bFail) { s_bFailNothrow = bFail; }
} // namespace qort

void * operator new(std::size_t n) { return allocate(n); }
void * operator new[](std::size_t n) { return allocate(n); }
void * operator new(std::size_t n, const std::nothrow_t &) noexcept { return allocateNothrow(n); }
void * operator new[](std::size_t n, const std::nothrow_t &) noexcept { return allocateNothrow(n); }
void operator delete(void * p) noexcept { std::free(p); }
void operator delete[](void * p) noexcept { std::free(p); }
void operator delete(void * p, std::size_t) noexcept { std::free(p); }
void operator delete[](void * p, std::size_t) noexcept { std::free(p); }
void operator delete(void * p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void * p, const std::nothrow_t &) noexcept { std::free(p); }
