#pragma once

// Typed calls (VelmorandScript/TypedCall.h) on the Lua stack: the script values are read
// straight into the C++ parameters and a plain result is pushed as it is, as the function's
// plan (Hosting::TypedCallPlan, made when the function is bound) says. A call whose values the
// plan's kinds do not take goes the descriptor way instead, which gives the same outcome.

#include "CallFrame.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

using Hosting::TypedCallPlan;

/// Booleans, texts and objects for ReadTypedArguments.
bool ReadOtherTypedArgument(const TypedCallPlan& plan, lua_State* state, int index,
                            std::size_t parameter, TypedArgument& argument, std::wstring* texts);

/// Reads the script arguments `firstArgument` to `lastArgument` into `arguments` as the plan's
/// parameter kinds ask, texts into `texts` (room for one per parameter, when the plan
/// TakesTexts). False when their number or a value is not what the entry takes as it is.
[[gnu::always_inline]] inline bool ReadTypedArguments(const TypedCallPlan& plan, lua_State* state,
                                                      int firstArgument, int lastArgument,
                                                      TypedArgument* arguments,
                                                      std::wstring* texts) {
    const TypedEntry& entry = plan.GetEntry();
    const std::size_t count = entry.GetParameterCount();
    if (lastArgument - firstArgument + 1 != static_cast<int>(count)) {
        return false;
    }
    const TypedKind* kinds = entry.GetParameterKinds();
    for (std::size_t i = 0; i < count; ++i) {
        const int index = firstArgument + static_cast<int>(i);
        switch (kinds[i]) {
            case TypedKind::Double:
                // As the descriptor path stores a number for a double: integers converted.
                if (lua_isinteger(state, index)) {
                    arguments[i].asDouble = static_cast<double>(lua_tointeger(state, index));
                } else if (lua_type(state, index) == LUA_TNUMBER) {
                    arguments[i].asDouble = lua_tonumber(state, index);
                } else {
                    return false;
                }
                break;
            case TypedKind::Long:
                if (!lua_isinteger(state, index) || !FitsLong(lua_tointeger(state, index))) {
                    return false;
                }
                arguments[i].asLong = static_cast<long>(lua_tointeger(state, index));
                break;
            default:
                if (!ReadOtherTypedArgument(plan, state, index, i, arguments[i], texts)) {
                    return false;
                }
        }
    }
    return true;
}

/// Pushes a result the plan pushes as it is and returns how many values it pushed (0 or 1);
/// -1 for a result that takes the descriptor path's push, boxed into `result.boxed`.
[[gnu::always_inline]] inline int PushTypedResult(const TypedCallPlan& plan, lua_State* state,
                                                  TypedResult& result) {
    switch (plan.GetResultPush()) {
        case TypedCallPlan::ResultPush::None:
            return 0;
        case TypedCallPlan::ResultPush::Double:
            lua_pushnumber(state, result.asDouble);
            return 1;
        case TypedCallPlan::ResultPush::Long:
            lua_pushinteger(state, result.asLong);
            return 1;
        case TypedCallPlan::ResultPush::Bool:
            lua_pushboolean(state, result.asBool ? 1 : 0);
            return 1;
        default:
            plan.BoxResult(result);
            return -1;
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
