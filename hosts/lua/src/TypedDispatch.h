#pragma once

// A call through a function's typed entry (TypedCalls.h), as every kind of host closure makes
// it: methods, static functions, constructors and property getters. It is compiled into each
// closure's C function, which it would otherwise cost more to reach than to run.

#include "CallFrame.h"
#include "HostState.h"
#include "TypedCalls.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

#include <string>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

/// The native value a call is made on, lent by a standard wrapper without a copy; `copy` holds
/// it for any other wrapper, whose GetScriptedObject may present something else.
inline const Value& ScriptedObjectOf(const boost::shared_ptr<IObject>& object, Value& copy) {
    if (!object) {
        return copy;
    }
    const IObject& wrapper = *object;
    if (typeid(wrapper) == typeid(Object)) {
        return static_cast<const Object&>(wrapper).GetScriptedObjectRef();
    }
    copy = wrapper.GetScriptedObject();
    return copy;
}

/// Pushes a boxed result as the descriptor path pushes its results; returns 1.
int PushBoxedResult(HostState& host, lua_State* state, Value& value);

/// What CallTyped returns when the call must take another way.
constexpr int NotTyped = -1;

/// Calls the plan's function on `object` (the value its wrapper presents; empty for none) with the
/// script arguments `firstArgument` to `lastArgument` through its typed entry, framed by the plan's
/// own frame, and pushes the result; returns how many values it pushed. NotTyped, having called
/// nothing, when the host's typed calls are off, the function's descriptor was assigned over
/// since it was planned, or the values are not what the entry takes. `texts` has room for one text
/// per parameter when the plan TakesTexts.
[[gnu::always_inline]] inline int CallTyped(HostState& host, lua_State* state,
                                            const CallNames& names, const TypedCallPlan& typed,
                                            const Value& object, int firstArgument,
                                            int lastArgument, std::wstring* texts) {
    if (!host.UsesTypedCalls() || !typed.IsCurrent()) {
        return NotTyped;
    }
    host.FreeReleasedReferences();
    boost::shared_ptr<IScriptCall>& frame = typed.Frame();
    if (!frame) {
        // The first call, or the last one lost the frame. The plan is its function's, in one
        // class: every frame it makes has the same names.
        const boost::shared_ptr<CallFrame> named = VelmorandScript::Detail::MakeShared<CallFrame>();
        named->Name(names);
        frame = named;
    }
    CallFrameScope frameScope(host.GetOwner(), frame);
    TypedArgument arguments[TypedEntry::MaximumParameters];
    TypedResult result;
    if (!ReadTypedArguments(typed, state, firstArgument, lastArgument, arguments, texts) ||
        !typed.GetEntry().Call(object, arguments, result)) {
        return NotTyped;
    }
    host.CountTypedCall();
    const int pushed = PushTypedResult(typed, state, result);
    return pushed >= 0 ? pushed : PushBoxedResult(host, state, result.boxed);
}

/// CallTyped with room for the texts it decodes.
[[gnu::noinline]] inline int CallTypedWithTexts(HostState& host, lua_State* state,
                                                const CallNames& names, const TypedCallPlan& typed,
                                                const Value& object, int firstArgument,
                                                int lastArgument) {
    std::wstring texts[TypedEntry::MaximumParameters];
    return CallTyped(host, state, names, typed, object, firstArgument, lastArgument, texts);
}

}  // namespace Lua
}  // namespace VelmorandScript
