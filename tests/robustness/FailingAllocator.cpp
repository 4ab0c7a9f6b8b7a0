#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

// The replacement global allocation functions. Every form ends in malloc or aligned_alloc and
// every deallocation in free, so sanitizers and valgrind still see each block.

namespace {

// Plain counters: the tests are single-threaded, and these must work before any constructor ran.
std::size_t g_failingAllocation = 0;  // 0: disarmed
std::size_t g_allocationCount = 0;
bool g_triggered = false;

// Whether this allocation is the one that must fail.
bool ShouldFail() {
    if (g_failingAllocation == 0) {
        return false;
    }
    if (++g_allocationCount != g_failingAllocation) {
        return false;
    }
    g_triggered = true;
    g_failingAllocation = 0;  // one failure per scope: the clean-up may allocate freely
    return true;
}

void* Allocate(std::size_t size) {
    if (ShouldFail()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    if (ShouldFail()) {
        return nullptr;
    }
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
    return std::aligned_alloc(align, rounded);
}

}  // namespace

namespace VelmorandScript {
namespace Testing {

AllocationFailureScope::AllocationFailureScope(std::size_t failingAllocation) {
    g_allocationCount = 0;
    g_triggered = false;
    g_failingAllocation = failingAllocation;
}

AllocationFailureScope::~AllocationFailureScope() {
    g_failingAllocation = 0;
}

bool AllocationFailureScope::Triggered() const {
    return g_triggered;
}

}  // namespace Testing
}  // namespace VelmorandScript

void* operator new(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    void* block = AllocateAligned(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
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
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
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
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
