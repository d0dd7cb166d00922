// Counts every heap allocation of the benchmark program: operator new in all
// its forms, and malloc, calloc and realloc (which Qt's containers call
// directly). Linked only into the benchmark program.
#ifndef VEXIL_BENCH_ALLOCCOUNT_H
#define VEXIL_BENCH_ALLOCCOUNT_H

#include <cstdint>

// Allocations made so far, from any thread. An operator new counts once,
// although it allocates through malloc.
uint64_t allocationCount();

#endif
