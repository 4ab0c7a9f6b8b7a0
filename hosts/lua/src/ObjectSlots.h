#pragma once

// The native objects that object userdata stand for, held by the host instead of inside the
// userdata. Lua drops a finalizer that it could not even call (memory ran out while calling
// __gc) and frees such a userdata later without telling anybody; an object held inside it
// would never be released. Here a finalizer releases its object's slot, and whatever no
// finalizer released is released when the state closes.

#include <VelmorandScript/Objects.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace VelmorandScript {
namespace Lua {

class ObjectSlots {
public:
    ObjectSlots() = default;
    ObjectSlots(const ObjectSlots&) = delete;
    ObjectSlots& operator=(const ObjectSlots&) = delete;

    /// A slot that holds `object` until Release or ReleaseAll. Throws std::bad_alloc, leaving
    /// `object` as it was.
    boost::shared_ptr<IObject>* Hold(boost::shared_ptr<IObject>&& object) {
        boost::shared_ptr<IObject>* slot;
        if (!m_free.empty()) {
            slot = m_free.back();
            m_free.pop_back();
        } else {
            // Room for every slot on the free list, so that Release never allocates.
            m_free.reserve(m_slots.size() + 1);
            m_slots.emplace_back();
            slot = &m_slots.back();
        }
        *slot = std::move(object);
        return slot;
    }
    /// Releases the slot's object; the slot serves a later Hold. Allocates nothing.
    void Release(boost::shared_ptr<IObject>* slot) noexcept {
        if (slot == Empty()) {
            return;
        }
        // Moved out first: the object's destructor runs with the slot already free of it.
        boost::shared_ptr<IObject> released = std::move(*slot);
        m_free.push_back(slot);
    }
    /// Releases every object still held: called once the state is closed.
    void ReleaseAll() noexcept {
        m_free.clear();
        m_slots.clear();
    }

    /// The slot of a userdata that holds no object (not yet, or no more): always empty.
    static boost::shared_ptr<IObject>* Empty() {
        static boost::shared_ptr<IObject> empty;
        return &empty;
    }

private:
    /// A deque, so that slots stay where they are while it grows.
    std::deque<boost::shared_ptr<IObject>> m_slots;
    std::vector<boost::shared_ptr<IObject>*> m_free;
};

}  // namespace Lua
}  // namespace VelmorandScript
