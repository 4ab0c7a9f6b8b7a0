#include "NumberCalls.h"

#include "ArgumentRoles.h"
#include "ValueMarshalling.h"

#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

namespace {

/// Puts `number` into the slot, into the slot's own holder when it has one to spare.
template <class T>
void Store(Value& slot, const T& number) {
    if (!slot.OverwriteSoleCopy(number)) {
        slot = Value(&number);
    }
}

}  // namespace

bool StorePlainNumber(lua_State* state, int index, bool isDouble, Value& slot) {
    // Integers first: reading one as an integer takes Lua far fewer steps than as a number.
    if (lua_isinteger(state, index)) {
        const lua_Integer integer = lua_tointeger(state, index);
        if (isDouble) {
            Store(slot, static_cast<double>(integer));
            return true;
        }
        if (!FitsLong(integer)) {
            return false;
        }
        Store(slot, static_cast<long>(integer));
        return true;
    }
    if (!isDouble || lua_type(state, index) != LUA_TNUMBER) {
        return false;
    }
    Store(slot, static_cast<double>(lua_tonumber(state, index)));
    return true;
}

NumberCallPlan::NumberCallPlan(const IFunction& function)
    : m_applies((function.GetStyle() & DeprecatedStyle) == 0),
      m_resultSlot(std::string::npos),
      m_slotCount(function.GetArguments().size()) {
    const std::vector<Argument>& arguments = function.GetArguments();
    for (std::size_t slot = 0; slot < arguments.size() && m_applies; ++slot) {
        const Argument& argument = arguments[slot];
        const std::type_info& type = argument.GetType().GetTypeInfo();
        const long style = argument.GetStyle();
        if (IsContextType(argument.GetType()) || IsScriptOutput(style)) {
            m_applies = false;
        } else if (IsScriptInputStyle(style)) {
            m_applies = &type == &typeid(double) || &type == &typeid(long);
            m_inputs.push_back(Input{slot, &type == &typeid(double)});
        } else {
            m_emptySlots.push_back(slot);
            if (IsScriptResult(argument)) {
                m_applies = m_resultSlot == std::string::npos;
                m_resultSlot = slot;
            }
        }
    }
}

bool NumberCallPlan::FillArguments(lua_State* state, int firstArgument,
                                   std::vector<Value>& values) const {
    if (!m_applies || lua_gettop(state) - firstArgument + 1 != static_cast<int>(m_inputs.size())) {
        return false;
    }
    values.resize(m_slotCount);
    int index = firstArgument;
    for (const Input& input : m_inputs) {
        if (!StorePlainNumber(state, index, input.isDouble, values[input.slot])) {
            return false;
        }
        ++index;
    }
    // As on the general path, the function finds its other slots empty.
    for (const std::size_t slot : m_emptySlots) {
        values[slot] = Value();
    }
    return true;
}

}  // namespace Lua
}  // namespace VelmorandScript
