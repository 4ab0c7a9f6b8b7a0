#pragma once

// One script call into native code: the call frame, deprecations, argument conversion, the
// invocation and the results.

#include "CallFrame.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

#include <string>

namespace VelmorandScript {
namespace Lua {

class HostState;
class NumberCallPlan;

/// What a call is made on. It refers to its parts, which outlive the call.
struct CallTarget {
    const boost::shared_ptr<Class>& scriptClass;
    const std::wstring& functionName;
    /// The styles to look the function up with (FunctionStyle bits).
    long styleMask;
    /// The object of an instance function, property or command; empty otherwise.
    const boost::shared_ptr<IObject>& object;
    /// Stack index of the first script argument.
    int firstArgument;
    /// The function, when the caller resolved it already (by name and style, in this class);
    /// null to have it looked up.
    const boost::shared_ptr<IFunction>* resolved = nullptr;
    /// The number-call plan of the resolved function, when the caller keeps one.
    const NumberCallPlan* numberPlan = nullptr;
    /// Stack index of the last script argument: the top of the stack unless the caller keeps
    /// values of its own above the arguments.
    int lastArgument = StackTop;
    /// The names of the call's frame, when the caller took them from the resolved function
    /// already; null to ask the descriptors.
    const CallNames* names = nullptr;

    static constexpr int StackTop = -1;
};

/// Calls the function and pushes its results (the return value, then the output arguments);
/// returns how many it pushed. Throws ScriptException, with the argument's number and the
/// function's name for an argument that does not convert. Runs inside RunProtected, which makes
/// `state` the host's current thread.
int DispatchCall(HostState& host, lua_State* state, const CallTarget& target);

/// The C function of method closures (upvalue 1: the closure's MethodBinding): calls the method
/// on the object at 1 with the arguments after it. An object of the class the method was
/// resolved in takes the resolved function; any other has it looked up in its own class.
int CallMethod(lua_State* state);

}  // namespace Lua
}  // namespace VelmorandScript
