// The recycling of small blocks for MakeShared. Each thread keeps a short free list per size
// class, so that a block released on a thread serves the next holder made there without a trip
// to the heap. The lists are freed when their thread ends (a thread-storage key) and, for the
// thread that unloads the library or ends the process, when the library's statics go.

#include <VelmorandScript/Values.h>

#include <threads.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <new>

namespace VelmorandScript {
namespace Detail {

namespace {

// AddressSanitizer finds a use of a released holder only when the block goes back to the heap,
// and ThreadSanitizer forgets a block's past accesses only there: a block recycled on another
// thread would carry its former owner's accesses into the new holder, or hide a race on a
// released one. GCC announces them with __SANITIZE_ADDRESS__ and __SANITIZE_THREAD__, clang
// through __has_feature.
#if defined(__has_feature)
#define VELMORAND_CHECKED_HEAP (__has_feature(address_sanitizer) || __has_feature(thread_sanitizer))
#else
#define VELMORAND_CHECKED_HEAP 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || VELMORAND_CHECKED_HEAP
constexpr bool kRecycle = false;
#else
constexpr bool kRecycle = true;
#endif

constexpr std::size_t kGranule = 16;
constexpr std::size_t kClassCount = 8;  // blocks of 16, 32, ... 128 bytes
constexpr unsigned int kBlocksPerClass = 64;

struct FreeBlock {
    FreeBlock* next;
};

/// One thread's free lists. Trivially destructible on purpose: a thread_local with a destructor
/// would keep the library loaded until the thread ends.
struct ThreadLists {
    std::array<FreeBlock*, kClassCount> heads;
    std::array<unsigned int, kClassCount> counts;
    bool registered;
};

thread_local ThreadLists t_lists;

void ReleaseLists(void* lists) noexcept {
    ThreadLists& own = *static_cast<ThreadLists*>(lists);
    for (std::size_t index = 0; index < kClassCount; ++index) {
        while (FreeBlock* block = own.heads[index]) {
            own.heads[index] = block->next;
            ::operator delete(block);
        }
        own.counts[index] = 0;
    }
    // A block released later in the thread's exit (by another key's destructor) registers the
    // lists again, and the thread frees them in its next round of destructors.
    own.registered = false;
}

/// The key whose destructor frees a thread's lists when the thread ends; created with the
/// library, deleted (after freeing the unloading thread's lists) with its statics. Blocks
/// released after that go straight back to the heap.
class ThreadListKey {
public:
    ThreadListKey() : m_created(tss_create(&m_key, &ReleaseLists) == thrd_success) {
        m_open.store(m_created, std::memory_order_relaxed);
    }
    ~ThreadListKey() {
        m_open.store(false, std::memory_order_relaxed);
        if (m_created) {
            ReleaseLists(&t_lists);
            tss_delete(m_key);
        }
    }
    ThreadListKey(const ThreadListKey&) = delete;
    ThreadListKey& operator=(const ThreadListKey&) = delete;

    bool IsOpen() const { return m_open.load(std::memory_order_relaxed); }
    /// Has the calling thread's lists freed when it ends.
    bool Register(ThreadLists& lists) { return tss_set(m_key, &lists) == thrd_success; }

private:
    tss_t m_key;
    bool m_created;
    std::atomic<bool> m_open{false};
};

ThreadListKey g_threadListKey;

/// The size class of a block, or kClassCount when blocks of that size are not recycled.
std::size_t ClassOf(std::size_t size) {
    return size == 0 || size > kGranule * kClassCount ? kClassCount : (size - 1) / kGranule;
}

}  // namespace

void* AllocateSharedBlock(std::size_t size) {
    const std::size_t index = ClassOf(size);
    if (kRecycle && index < kClassCount) {
        ThreadLists& lists = t_lists;
        if (FreeBlock* block = lists.heads[index]) {
            lists.heads[index] = block->next;
            --lists.counts[index];
            return block;
        }
        // Every block of a class has the class's full size, so any of them serves any size of
        // the class.
        return ::operator new((index + 1) * kGranule);
    }
    return ::operator new(size);
}

void FreeSharedBlock(void* block, std::size_t size) noexcept {
    const std::size_t index = ClassOf(size);
    if (kRecycle && index < kClassCount && g_threadListKey.IsOpen()) {
        ThreadLists& lists = t_lists;
        if (!lists.registered) {
            lists.registered = g_threadListKey.Register(lists);
        }
        if (lists.registered && lists.counts[index] < kBlocksPerClass) {
            lists.heads[index] = ::new (block) FreeBlock{lists.heads[index]};
            ++lists.counts[index];
            return;
        }
    }
    ::operator delete(block);
}

}  // namespace Detail
}  // namespace VelmorandScript
