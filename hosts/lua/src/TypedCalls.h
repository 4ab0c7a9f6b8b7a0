#pragma once

// Calls through a function's typed entry (VelmorandScript/TypedCall.h): the script values are
// read from the Lua stack straight into the C++ parameters and a plain result is pushed as it
// is. The plan of a function is worked out once, when the function is bound; a call whose
// values its kinds do not take goes the descriptor way instead, which gives the same outcome.

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

class TypedCallPlan {
public:
    /// The plan of `function`, or null when it has no typed entry that this host can use.
    static std::unique_ptr<const TypedCallPlan> For(const IFunction& function);

    const TypedEntry& GetEntry() const { return m_entry; }

    /// Whether the function still offers the entry the plan was made for: a descriptor
    /// assigned over since (which may have made it deprecated) offers none.
    bool IsCurrent() const { return m_function.GetTypedEntry() == &m_entry; }

    /// Whether a parameter takes a text: its call needs room for the decoded texts.
    bool TakesTexts() const { return m_takesTexts; }

    /// The frame the plan's calls push, named for the function and reused from call to call.
    /// Null while a call has it on the context's stack (the function was called again from
    /// within), or after native code replaced it there.
    boost::shared_ptr<IScriptCall>& Frame() const { return m_frame; }

    /// Reads the script arguments `firstArgument` to `lastArgument` into `arguments`, texts
    /// into `texts` (room for one per parameter, when TakesTexts). False when their number or a
    /// value is not what the entry takes.
    [[gnu::always_inline]] bool ReadArguments(lua_State* state, int firstArgument, int lastArgument,
                                              TypedArgument* arguments, std::wstring* texts) const {
        const std::size_t count = m_entry.GetParameterCount();
        if (lastArgument - firstArgument + 1 != static_cast<int>(count)) {
            return false;
        }
        const TypedKind* kinds = m_entry.GetParameterKinds();
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
                    if (!ReadOtherArgument(state, index, i, arguments[i], texts)) {
                        return false;
                    }
            }
        }
        return true;
    }

    /// Pushes a result of kind Double, Long or Bool as the descriptor path would push it, and
    /// returns 1; returns 0 for no result. -1 for a result that takes the descriptor path's
    /// push (a boxed one, or a plain one when the host's wrapper does not pass it unchanged),
    /// boxed into `result.boxed`.
    [[gnu::always_inline]] int PushPlainResult(lua_State* state, TypedResult& result) const {
        switch (m_resultPush) {
            case ResultPush::None:
                return 0;
            case ResultPush::Double:
                lua_pushnumber(state, result.asDouble);
                return 1;
            case ResultPush::Long:
                lua_pushinteger(state, result.asLong);
                return 1;
            case ResultPush::Bool:
                lua_pushboolean(state, result.asBool ? 1 : 0);
                return 1;
            default:
                BoxResult(result);
                return -1;
        }
    }

private:
    enum class ResultPush : unsigned char { None, Double, Long, Bool, Boxed };

    TypedCallPlan(const Function& function, const TypedEntry& entry,
                  std::vector<DataType> objectTypes, ResultPush resultPush, bool takesTexts)
        : m_function(function),
          m_entry(entry),
          m_objectTypes(std::move(objectTypes)),
          m_resultPush(resultPush),
          m_takesTexts(takesTexts) {}

    /// Booleans, texts and objects.
    bool ReadOtherArgument(lua_State* state, int index, std::size_t parameter,
                           TypedArgument& argument, std::wstring* texts) const;
    /// A plain result the host's wrapper does not pass as it is, boxed for the general push.
    void BoxResult(TypedResult& result) const;

    const Function& m_function;
    const TypedEntry& m_entry;
    /// The type an object argument's presented value must have, per parameter: the type of
    /// its descriptor, which the descriptor path converts any other to.
    std::vector<DataType> m_objectTypes;
    ResultPush m_resultPush;
    bool m_takesTexts;
    mutable boost::shared_ptr<IScriptCall> m_frame;
};

}  // namespace Lua
}  // namespace VelmorandScript
