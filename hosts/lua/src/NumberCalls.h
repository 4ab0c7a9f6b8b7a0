#pragma once

// Calls whose script arguments are all numbers for double or long parameters, returning at
// most one value: the usual method call. Their argument layout is worked out once per method,
// and a call that fits it fills the argument slots straight from the Lua stack, with what the
// general path would put there. The filling is inline: it runs on every such call, and the
// calls around it cost more than the work.

#include "CallFrame.h"
#include "TypedCalls.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace VelmorandScript {
namespace Lua {

/// Puts `number` into the slot, into the slot's own holder when it has one to spare.
template <class T>
inline void StoreNumber(Value& slot, T number) {
    if (!slot.OverwriteSoleCopy(number)) {
        slot = Value(&number);
    }
}

/// Puts the Lua value at `index` into `slot` as a double (`isDouble`) or a long, when it is a
/// number that the general path would turn into the same value (any number for a double, an
/// integer within 32 bits for a long), reusing the slot's holder when it has one to spare.
/// False, the slot unchanged, for any other value.
[[gnu::always_inline]] inline bool StorePlainNumber(lua_State* state, int index, bool isDouble,
                                                    Value& slot) {
    // Integers first: reading one as an integer takes Lua far fewer steps than as a number.
    if (lua_isinteger(state, index)) {
        const lua_Integer integer = lua_tointeger(state, index);
        if (isDouble) {
            StoreNumber(slot, static_cast<double>(integer));
            return true;
        }
        if (!FitsLong(integer)) {
            return false;
        }
        StoreNumber(slot, static_cast<long>(integer));
        return true;
    }
    // The type first: lua_tonumber would also read a string.
    if (!isDouble || lua_type(state, index) != LUA_TNUMBER) {
        return false;
    }
    StoreNumber(slot, static_cast<double>(lua_tonumber(state, index)));
    return true;
}

class NumberCallPlan {
public:
    /// The plan of `function`; it applies to no call when the function has other arguments.
    explicit NumberCallPlan(const IFunction& function);

    /// Fills `values` from the script arguments `firstArgument` to `lastArgument`, when there
    /// are exactly as many as the function's inputs and each is a number its parameter takes as
    /// it is (any number for a double, an integer within 32 bits for a long). Returns false
    /// otherwise, maybe having filled some slots, which the general path then fills anew.
    [[gnu::always_inline]] bool FillArguments(lua_State* state, int firstArgument, int lastArgument,
                                              std::vector<Value>& values) const {
        if (!m_applies || lastArgument - firstArgument + 1 != m_inputCount) {
            return false;
        }
        values.resize(m_roles.size());
        Value* slot = values.data();
        int index = firstArgument;
        for (const Role role : m_roles) {
            if (role == Role::Empty) {
                // As on the general path, the function finds its other slots empty.
                if (!slot->IsEmpty()) {
                    *slot = Value();
                }
            } else if (!StorePlainNumber(state, index++, role == Role::Double, *slot)) {
                return false;
            }
            ++slot;
        }
        return true;
    }

    /// The slot of the value the script receives, or npos when it receives none.
    std::size_t GetResultSlot() const { return m_resultSlot; }

    /// The plan of calls through the function's typed entry, or null when it has none.
    const Hosting::TypedCallPlan* GetTypedPlan() const { return m_typed.get(); }

    /// Pushes a double result as it is, when logging is off and the host's wrapper passes
    /// doubles unchanged: what PushPlainNumber would push. Otherwise PushPlainNumber's answer.
    [[gnu::always_inline]] bool PushPlainResult(lua_State* state, const Value& value) const {
        const std::type_info& type = value.GetType().GetTypeInfo();
        if (m_doublesPassPlain && value.IsNumber() && &type == &typeid(double) &&
            &value.GetDerivedType().GetTypeInfo() == &type) {
            lua_pushnumber(state, *static_cast<const double*>(value.GetValuePtr()));
            return true;
        }
        return PushPlainNumber(state, value);
    }

private:
    /// What the function finds in a slot: a number from the script, or nothing (its return
    /// values, void ones included).
    enum class Role : unsigned char { Double, Long, Empty };

    bool m_applies;
    /// Whether logging was off and doubles passed unchanged when the plan was made; neither
    /// changes once so (the logging switch is read once, wrapper routines are never replaced).
    bool m_doublesPassPlain;
    /// One role per slot, in slot order; the inputs take the script arguments in that order.
    std::vector<Role> m_roles;
    int m_inputCount;
    std::size_t m_resultSlot;
    std::unique_ptr<const Hosting::TypedCallPlan> m_typed;
};

}  // namespace Lua
}  // namespace VelmorandScript
