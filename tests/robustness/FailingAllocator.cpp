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

/// A block of `size` bytes (aligned to `align` unless 0), or null for the armed allocation.
void* Allocate(std::size_t size, std::size_t align = 0) {
    if (g_failingAllocation != 0 && ++g_allocationCount == g_failingAllocation) {
        g_triggered = true;
        g_failingAllocation = 0;  // one failure per scope: the clean-up may allocate freely
        return nullptr;
    }
    size = size == 0 ? 1 : size;
    return align == 0 ? std::malloc(size)
                      : std::aligned_alloc(align, (size + align - 1) / align * align);
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
    void* block = Allocate(size, static_cast<std::size_t>(alignment));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(alignment));
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(alignment));
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
