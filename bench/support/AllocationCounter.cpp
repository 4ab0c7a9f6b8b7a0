#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {

// Thread-local so that counting costs no atomic operation: an atomic increment would weigh on
// the very allocations the benchmarks compare.
thread_local std::uint64_t t_allocations = 0;

void* Allocate(std::size_t size) {
    ++t_allocations;
    // malloc(0) may return null; operator new must not.
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    ++t_allocations;
    const std::size_t align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* block = std::aligned_alloc(align, rounded == 0 ? align : rounded)) {
        return block;
    }
    throw std::bad_alloc();
}

}  // namespace

namespace VelmorandBench {

std::uint64_t AllocationCount() {
    return t_allocations;
}

void ReportAllocations(benchmark::State& state, std::uint64_t countBefore) {
    state.counters["allocs"] = benchmark::Counter(
        static_cast<double>(AllocationCount() - countBefore), benchmark::Counter::kAvgIterations);
}

}  // namespace VelmorandBench

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
