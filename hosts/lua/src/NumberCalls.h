#pragma once

// Calls whose script arguments are all numbers for double or long parameters, returning at
// most one value: the usual method call. A call that fits the library's layout of the function
// fills the argument slots straight from the Lua stack. The filling is inline: it runs on every
// such call, and the calls around it cost more than the work.

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
            Hosting::StoreNumber(slot, static_cast<double>(integer));
            return true;
        }
        if (!FitsLong(integer)) {
            return false;
        }
        Hosting::StoreNumber(slot, static_cast<long>(integer));
        return true;
    }
    // The type first: lua_tonumber would also read a string.
    if (!isDouble || lua_type(state, index) != LUA_TNUMBER) {
        return false;
    }
    Hosting::StoreNumber(slot, static_cast<double>(lua_tonumber(state, index)));
    return true;
}

/// The library's number-call layout of a function, read from the Lua stack, and its typed plan.
class NumberCallPlan {
public:
    explicit NumberCallPlan(const IFunction& function)
        : m_layout(function), m_typed(Hosting::TypedCallPlan::For(function)) {}

    /// Fills `values` from the script arguments `firstArgument` to `lastArgument`, when there
    /// are exactly as many as the function's inputs and each is a number its parameter takes as
    /// it is. Returns false otherwise, maybe having filled some slots, which the general path
    /// then fills anew.
    [[gnu::always_inline]] bool FillArguments(lua_State* state, int firstArgument, int lastArgument,
                                              std::vector<Value>& values) const {
        return m_layout.Fits(lastArgument - firstArgument + 1) &&
               m_layout.Fill(values, [state, firstArgument](int input, bool isDouble, Value& slot) {
                   return StorePlainNumber(state, firstArgument + input, isDouble, slot);
               });
    }

    /// The slot of the value the script receives, or npos when it receives none.
    std::size_t GetResultSlot() const { return m_layout.GetResultSlot(); }

    /// The plan of calls through the function's typed entry, or null when it has none.
    const Hosting::TypedCallPlan* GetTypedPlan() const { return m_typed.get(); }

    /// Pushes a double result as it is, when logging is off and the host's wrapper passes
    /// doubles unchanged: what PushPlainNumber would push. Otherwise PushPlainNumber's answer.
    [[gnu::always_inline]] bool PushPlainResult(lua_State* state, const Value& value) const {
        const std::type_info& type = value.GetType().GetTypeInfo();
        if (m_layout.DoublesPassPlain() && value.IsNumber() && &type == &typeid(double) &&
            &value.GetDerivedType().GetTypeInfo() == &type) {
            lua_pushnumber(state, *static_cast<const double*>(value.GetValuePtr()));
            return true;
        }
        return PushPlainNumber(state, value);
    }

private:
    Hosting::NumberCallLayout m_layout;
    std::unique_ptr<const Hosting::TypedCallPlan> m_typed;
};

}  // namespace Lua
}  // namespace VelmorandScript
