// Replaces the C allocator entry points of this program with counting wrappers
// around glibc's own allocator. Every shared library (Qt, libstdc++ and the driver)
// resolves malloc to these, so a QByteArray growth counts like an operator new.
#include "alloc_count.h"

#include <cstddef>

// Sanitizer runtimes bring allocators of their own; the counters stay at zero there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BENCH_NO_ALLOC_COUNT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define BENCH_NO_ALLOC_COUNT 1
#endif
#endif

#ifndef BENCH_NO_ALLOC_COUNT

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t n, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
}

namespace {
// Initial-exec TLS in the executable: reading it never allocates.
thread_local uint64_t tls_allocations = 0;
} // namespace

extern "C" {

void* malloc(size_t size) {
    ++tls_allocations;
    return __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
    ++tls_allocations;
    return __libc_calloc(n, size);
}

void* realloc(void* p, size_t size) {
    ++tls_allocations;
    return __libc_realloc(p, size);
}

void free(void* p) {
    __libc_free(p);
}

} // extern "C"

namespace bench {

uint64_t threadAllocations() {
    return tls_allocations;
}

} // namespace bench

#else

namespace bench {

uint64_t threadAllocations() {
    return 0;
}

} // namespace bench

#endif
