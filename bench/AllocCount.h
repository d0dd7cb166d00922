// Counts every heap allocation of the benchmark program: operator new in all
// its forms, and malloc, calloc and realloc (which Qt's containers and the C
// library call directly). The aligned C allocators are not counted. Linked
// only into the benchmark program: it stands in front of glibc's allocator.
#ifndef VEXIL_BENCH_ALLOCCOUNT_H
#define VEXIL_BENCH_ALLOCCOUNT_H

#include <cstdint>

// Allocations made so far, from any thread.
uint64_t allocationCount();

#endif
