#pragma once

// Heap allocations made by the running thread, counted by the benchmark programs' replacement of
// the global operator new, and their report as a benchmark counter.

#include <benchmark/benchmark.h>

#include <cstdint>

namespace VelmorandBench {

/// How many times this thread has called any form of operator new.
std::uint64_t AllocationCount();

/// Reports the allocations made since `countBefore` per iteration of the timed loop, as the
/// counter "allocs" that bench/ratio_table.py checks against the allocation goals.
void ReportAllocations(benchmark::State& state, std::uint64_t countBefore);

}  // namespace VelmorandBench
