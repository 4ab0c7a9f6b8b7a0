#pragma once

// A reader-writer lock for a cache that no one has to wait for: a reader who meets a writer
// looks the answer up the long way, and a writer who keeps meeting readers skips remembering.
// Taking and releasing it costs two atomic additions, where std::shared_mutex costs two library
// calls of about sixty instructions together. Internal: the remembered inherited lookups use it.

#include <atomic>

namespace VelmorandScript {

class ReadMostlyLock {
public:
    /// Shares the lock unless a writer holds it; false means "read nothing".
    bool TryLockShared() const noexcept {
        if ((m_state.fetch_add(1, std::memory_order_acquire) & kWriter) != 0) {
            m_state.fetch_sub(1, std::memory_order_relaxed);
            return false;
        }
        return true;
    }
    void UnlockShared() const noexcept { m_state.fetch_sub(1, std::memory_order_release); }

    /// Takes the lock alone when no reader and no writer holds it.
    bool TryLock() noexcept {
        unsigned expected = 0;
        return m_state.compare_exchange_strong(expected, kWriter, std::memory_order_acquire,
                                               std::memory_order_relaxed);
    }
    /// Subtracts rather than stores: a reader who met this writer may not have backed out yet.
    void Unlock() noexcept { m_state.fetch_sub(kWriter, std::memory_order_release); }

private:
    static constexpr unsigned kWriter = 1u << 31;

    /// The writer bit and the number of readers inside.
    mutable std::atomic<unsigned> m_state{0};
};

}  // namespace VelmorandScript
