#pragma once

// What a class found in its base chain, by (name, style mask): a repeated lookup of an
// inherited name then costs one hash lookup instead of one for each class of the chain. Valid
// while no function is added to any table (FunctionTable counts additions); the first lookup
// after an addition starts afresh. Internal: Class is the only user.

#include "classes/NameHash.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>
#include <boost/unordered_map.hpp>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace VelmorandScript {

class InheritedFunctions {
public:
    InheritedFunctions();

    /// The function remembered for the lookup, or null.
    const boost::shared_ptr<IFunction>* Find(const std::wstring& name, long styleMask) const;
    /// Remembers what a lookup found in the base chain.
    void Remember(const std::wstring& name, long styleMask,
                  const boost::shared_ptr<IFunction>& function);

private:
    struct Key {
        std::wstring_view name;
        long styleMask;
        bool operator==(const Key& other) const {
            return styleMask == other.styleMask && name == other.name;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            return HashName(key.name, kNameHashBasis ^ static_cast<std::uint64_t>(key.styleMask));
        }
    };

    /// True when no function was added since the entries were remembered.
    bool IsCurrent() const;

    /// The names the keys refer to; a deque, so that they stay put.
    std::deque<std::wstring> m_names;
    boost::unordered_map<Key, boost::shared_ptr<IFunction>, KeyHash> m_functions;
    unsigned long m_additions;
};

}  // namespace VelmorandScript
