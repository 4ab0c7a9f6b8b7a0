#pragma once

// Allocation-failure injection for the programs linked with FailingAllocator.cpp, which replaces
// the global allocation functions: while a scope is armed, its Nth allocation fails.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>

namespace VelmorandScript {
namespace Testing {

/// Arms the failure of the `failingAllocation`th allocation (1 = the next one) for its lifetime.
/// The throwing forms of operator new then throw std::bad_alloc, the nothrow forms return null.
class AllocationFailureScope {
public:
    explicit AllocationFailureScope(std::size_t failingAllocation);
    ~AllocationFailureScope();
    AllocationFailureScope(const AllocationFailureScope&) = delete;
    AllocationFailureScope& operator=(const AllocationFailureScope&) = delete;

    /// Whether the armed allocation was reached (and so failed).
    bool Triggered() const;
};

/// Runs `operation` with its 1st, 2nd, 3rd ... allocation failing until it completes without
/// reaching the failing allocation. Each injected failure must come out of `operation` as
/// std::bad_alloc; after each one `checkAfterFailure(n)` verifies the state. Returns the number
/// of allocations the completed run made.
template <class Operation, class Check>
std::size_t SweepAllocationFailures(Operation operation, Check checkAfterFailure) {
    constexpr std::size_t kLimit = 100000;
    const bool failedBefore = ::testing::Test::HasFailure();
    for (std::size_t n = 1; n < kLimit; ++n) {
        bool threwBadAlloc = false;
        bool triggered = false;
        {
            AllocationFailureScope scope(n);
            try {
                operation();
            } catch (const std::bad_alloc&) {
                threwBadAlloc = true;
            }
            triggered = scope.Triggered();
        }
        if (!triggered) {
            EXPECT_FALSE(threwBadAlloc) << "bad_alloc without an injected failure (n=" << n << ")";
            return n - 1;
        }
        if (!threwBadAlloc) {
            ADD_FAILURE() << "the failure of allocation " << n
                          << " was swallowed: the operation completed without std::bad_alloc";
            return n - 1;
        }
        checkAfterFailure(n);
        if (!failedBefore && ::testing::Test::HasFailure()) {
            ADD_FAILURE() << "state after the failure of allocation " << n << " is wrong";
            return n;
        }
    }
    ADD_FAILURE() << "the operation never completed within " << kLimit << " allocations";
    return kLimit;
}

}  // namespace Testing
}  // namespace VelmorandScript
