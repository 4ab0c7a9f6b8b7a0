#pragma once

// Calls whose script arguments are all numbers for double or long parameters, returning at
// most one value: the usual method call. Their argument layout is worked out once per method,
// and a call that fits it fills the argument slots straight from the Lua stack, with what the
// general path would put there.

#include "CallFrame.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

/// Puts the Lua value at `index` into `slot` as a double (`isDouble`) or a long, when it is a
/// number that the general path would turn into the same value (any number for a double, an
/// integer within 32 bits for a long), reusing the slot's holder when it has one to spare.
/// False, the slot unchanged, for any other value.
bool StorePlainNumber(lua_State* state, int index, bool isDouble, Value& slot);

class NumberCallPlan {
public:
    /// The plan of `function`; it applies to no call when the function has other arguments.
    explicit NumberCallPlan(const IFunction& function);

    /// Fills `values` from the script arguments from `firstArgument` on, when there are exactly
    /// as many as the function's inputs and each is a number its parameter takes as it is (any
    /// number for a double, an integer within 32 bits for a long). Returns false otherwise,
    /// maybe having filled some slots, which the general path then fills anew.
    bool FillArguments(lua_State* state, int firstArgument, std::vector<Value>& values) const;

    /// The slot of the value the script receives, or npos when it receives none.
    std::size_t GetResultSlot() const { return m_resultSlot; }

private:
    struct Input {
        std::size_t slot;
        bool isDouble;  // else long
    };

    bool m_applies;
    std::vector<Input> m_inputs;
    /// The slots the function finds empty: its return values, void ones included.
    std::vector<std::size_t> m_emptySlots;
    std::size_t m_resultSlot;
    std::size_t m_slotCount;
};

}  // namespace Lua
}  // namespace VelmorandScript
