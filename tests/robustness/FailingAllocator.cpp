// Replaces the global allocation functions: while armed, the Nth allocation fails. The replaced
// forms end in malloc and free, so sanitizers still see each block; the array and aligned forms
// keep their defaults. A file of its own, so that the compiler does not pair these forms with the
// standard library's inlined allocations.

#include <cstdlib>
#include <new>

namespace {

// Plain counters: the tests are single-threaded, and these must work before any constructor ran.
std::size_t g_failingAllocation = 0;  // 0: disarmed
std::size_t g_allocationCount = 0;
bool g_triggered = false;

void* Allocate(std::size_t size) {
    if (g_failingAllocation != 0 && ++g_allocationCount == g_failingAllocation) {
        g_triggered = true;
        g_failingAllocation = 0;  // one failure per run: the clean-up may allocate freely
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace VelmorandScript {
namespace Testing {

/// Makes the `failingAllocation`th allocation from now on (1 = the next one) fail.
void ArmAllocationFailure(std::size_t failingAllocation) {
    g_allocationCount = 0;
    g_triggered = false;
    g_failingAllocation = failingAllocation;
}

/// Disarms; answers whether the armed allocation was reached (and so failed).
bool DisarmAllocationFailure() {
    g_failingAllocation = 0;
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
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
