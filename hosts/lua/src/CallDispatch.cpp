#include "CallDispatch.h"

#include "HostState.h"
#include "LuaReference.h"
#include "NumberCalls.h"
#include "ObjectUserdata.h"
#include "ProtectedCall.h"
#include "TypedDispatch.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/Hosting.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <cwchar>
#include <typeinfo>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

/// The host's context as native code receives it, fetched only when the call needs it: the
/// usual call converts and wraps plain numbers and needs no context at all.
class ContextOnDemand {
public:
    explicit ContextOnDemand(const HostState& host) : m_host(host) {}

    const boost::shared_ptr<IScriptContext>& Get() {
        if (!m_context) {
            m_context = m_host.GetSharedContext();
        }
        return m_context;
    }

private:
    const HostState& m_host;
    boost::shared_ptr<IScriptContext> m_context;
};

/// The script arguments `firstArgument` to `lastArgument` of a call, as the library's argument
/// building reads them.
class LuaArguments : public Hosting::ArgumentSource {
public:
    LuaArguments(HostState& host, lua_State* state, int firstArgument, int lastArgument,
                 ContextOnDemand& context)
        : m_host(host),
          m_state(state),
          m_first(firstArgument),
          m_count(lastArgument - firstArgument + 1),
          m_context(context) {}

    int GetCount() const override { return m_count; }
    bool IsNothing(int index) const override { return lua_isnil(m_state, m_first + index); }

    Value Read(int index, const Argument& argument) override {
        const int stackIndex = m_first + index;
        if (argument.GetType() == DataType(typeid(IObject))) {
            if (const boost::shared_ptr<IObject>* object = ToObjectUserdata(m_state, stackIndex)) {
                return Value(*object);
            }
        }
        if (argument.GetType() == DataType(typeid(Value)) &&
            HasCallMetamethod(m_state, stackIndex)) {
            return ToCallableValue(m_host, m_state, stackIndex);
        }
        return ToNativeValue(m_host, m_state, stackIndex);
    }

    const char* GetScriptWord(int index) const override {
        // Functions and tables reach native code as the host's own types.
        const int type = lua_type(m_state, m_first + index);
        return type == LUA_TFUNCTION || type == LUA_TTABLE ? lua_typename(m_state, type) : nullptr;
    }

    boost::shared_ptr<IScriptContext> GetContext() override { return m_context.Get(); }

    /// A number for a double or long parameter goes straight into the slot (see
    /// StorePlainNumber); the standard conversion of a 32-bit long to double is exact.
    bool StorePlainNumber(int index, const DataType& type, Value& slot) override {
        const std::type_info& info = type.GetTypeInfo();
        if (&info != &typeid(double) && &info != &typeid(long)) {
            return false;
        }
        return Lua::StorePlainNumber(m_state, m_first + index, &info == &typeid(double), slot);
    }

    /// The script's notification handler failed: its error, not the argument's.
    bool IsHostError(const ScriptException& error) const override {
        return dynamic_cast<const LuaErrorException*>(&error) != nullptr;
    }

private:
    HostState& m_host;
    lua_State* m_state;
    int m_first;
    int m_count;
    ContextOnDemand& m_context;
};

// The host's scratch for the call at hand, for as long as the call runs.
class CallScratchScope {
public:
    explicit CallScratchScope(HostState& host) : m_host(host), m_scratch(host.BeginCall()) {}
    ~CallScratchScope() { m_host.EndCall(m_scratch); }
    CallScratchScope(const CallScratchScope&) = delete;
    CallScratchScope& operator=(const CallScratchScope&) = delete;

    CallFrame& Frame() { return static_cast<CallFrame&>(*m_scratch.frame); }
    boost::shared_ptr<IScriptCall>& SharedFrame() { return m_scratch.frame; }
    std::vector<Value>& Values() { return m_scratch.values; }

private:
    HostState& m_host;
    CallScratch& m_scratch;
};

void PushResult(lua_State* state, Value& value, ContextOnDemand& context) {
    if (value.IsEmpty()) {
        lua_pushnil(state);
    } else if (!PushPlainNumber(state, value)) {
        PushNativeValue(context.Get(), state, std::move(value));
    }
}

int PushResults(lua_State* state, const IFunction& function, std::vector<Value>& values,
                ContextOnDemand& context) {
    if (!lua_checkstack(state, static_cast<int>(function.GetArguments().size()))) {
        throw ScriptException(L"Too many results for the Lua stack.");
    }
    // Each value is pushed once and not needed afterwards, so it is handed over.
    return Hosting::DeliverResults(function, values,
                                   [&](Value& value) { PushResult(state, value, context); });
}

}  // namespace

namespace {

/// Invoke on the value presented by a wrapper other than the standard one (or on nothing).
[[gnu::noinline]] void InvokeOnCopy(const IFunction& function,
                                    const boost::shared_ptr<IObject>& object,
                                    std::vector<Value>& values) {
    Value objectCopy;
    function.Invoke(ScriptedObjectOf(object, objectCopy), values);
}

inline void InvokeOn(const IFunction& function, const boost::shared_ptr<IObject>& object,
                     std::vector<Value>& values) {
    if (object) {
        const IObject& wrapper = *object;
        if (typeid(wrapper) == typeid(Object)) {
            function.Invoke(static_cast<const Object&>(wrapper).GetScriptedObjectRef(), values);
            return;
        }
    }
    InvokeOnCopy(function, object, values);
}

/// The call of a function whose arguments take the general path: deprecated functions, and
/// arguments that the number-call plan does not take.
[[gnu::noinline]] int DispatchGeneralCall(HostState& host, lua_State* state,
                                          const CallTarget& target,
                                          const boost::shared_ptr<IFunction>& function,
                                          CallFrame& frame, std::vector<Value>& values) {
    ContextOnDemand context(host);
    boost::shared_ptr<IFunction> redirected;
    if ((function->GetStyle() & DeprecatedStyle) != 0) {
        Hosting::ResolvedCall resolved =
            Hosting::ResolveDeprecation(context.Get(), target.scriptClass, target.functionName,
                                        target.styleMask, target.object, function);
        if (!resolved.function) {
            return 0;
        }
        if (resolved.renamedTo != nullptr) {
            frame.Redirect(resolved.renamedTo);
        }
        redirected = std::move(resolved.function);
    }
    const IFunction& called = redirected ? *redirected : *function;
    LuaArguments arguments(host, state, target.firstArgument, target.lastArgument, context);
    Hosting::BuildArguments(called, arguments, frame, values);
    InvokeOn(called, target.object, values);
    return PushResults(state, called, values, context);
}

}  // namespace

int PushBoxedResult(HostState& host, lua_State* state, Value& value) {
    ContextOnDemand context(host);
    PushResult(state, value, context);
    return 1;
}

namespace {

/// DispatchCall for a target without the function or the last argument.
[[gnu::noinline]] int DispatchIncompleteCall(HostState& host, lua_State* state,
                                             const CallTarget& target) {
    CallTarget complete = target;
    if (complete.lastArgument == CallTarget::StackTop) {
        complete.lastArgument = lua_gettop(state);
    }
    boost::shared_ptr<IFunction> found;
    if (complete.resolved == nullptr) {
        found = Hosting::FindScriptFunction(target.scriptClass, target.functionName,
                                            target.styleMask, target.object);
        complete.resolved = &found;
    }
    return DispatchCall(host, state, complete);
}

/// The typed call of a complete target; NotTyped when it must take another way.
[[gnu::always_inline]] inline int CallTargetTyped(HostState& host, lua_State* state,
                                                  const CallTarget& target,
                                                  const IFunction& function,
                                                  const TypedCallPlan& typed) {
    const CallNames names = target.names != nullptr
                                ? *target.names
                                : CallNames{TextOrEmpty(target.scriptClass->GetScriptName()),
                                            TextOrEmpty(function.GetName())};
    Value objectCopy;
    const Value& object = ScriptedObjectOf(target.object, objectCopy);
    if (!typed.TakesTexts()) {
        return CallTyped(host, state, names, typed, object, target.firstArgument,
                         target.lastArgument, nullptr);
    }
    return CallTypedWithTexts(host, state, names, typed, object, target.firstArgument,
                              target.lastArgument);
}

/// DispatchCall for a complete target, compiled into the method closure's C function as well:
/// the usual method call runs in one function.
[[gnu::always_inline]] inline int DispatchResolvedCall(HostState& host, lua_State* state,
                                                       const CallTarget& target) {
    const boost::shared_ptr<IFunction>& function = *target.resolved;
    if (!function) {
        Hosting::RaiseNoFunction(target.scriptClass, target.functionName, target.styleMask);
    }
    if (target.numberPlan != nullptr) {
        if (const TypedCallPlan* typed = target.numberPlan->GetTypedPlan()) {
            const int pushed = CallTargetTyped(host, state, target, *function, *typed);
            if (pushed != NotTyped) {
                return pushed;
            }
        }
    }
    CallScratchScope scratch(host);
    CallFrame& frame = scratch.Frame();
    if (target.names != nullptr) {
        frame.Name(*target.names);
    } else {
        frame.Name(target.scriptClass->GetScriptName(), function->GetName());
    }
    CallFrameScope frameScope(host.GetOwner(), scratch.SharedFrame());

    std::vector<Value>& values = scratch.Values();
    const NumberCallPlan* plan = target.numberPlan;
    // The plans apply to no deprecated function; one that became deprecated since takes the
    // general path too.
    if (plan == nullptr || (function->GetStyle() & DeprecatedStyle) != 0) {
        return DispatchGeneralCall(host, state, target, function, frame, values);
    }
    if (!plan->FillArguments(state, target.firstArgument, target.lastArgument, values)) {
        return DispatchGeneralCall(host, state, target, function, frame, values);
    }
    InvokeOn(*function, target.object, values);
    const std::size_t resultSlot = plan->GetResultSlot();
    if (resultSlot == std::string::npos) {
        return 0;
    }
    Value& result = values[resultSlot];
    if (!result.IsEmpty() && plan->PushPlainResult(state, result)) {
        return 1;
    }
    return PushBoxedResult(host, state, result);
}

// Upvalue: the method's MethodBinding.
int CallMethodBody(lua_State* state) {
    const auto* binding =
        static_cast<const MethodBinding*>(lua_touserdata(state, lua_upvalueindex(1)));
    HostState& host = HostState::From(state);
    // An object of the binding's class takes the function resolved already.
    if (const ObjectCell* cell = ObjectOfClass(state, 1, binding->methodCache)) {
        if (*cell->object) {
            return DispatchResolvedCall(
                host, state,
                CallTarget{binding->scriptClass, binding->name, MethodStyles, *cell->object, 2,
                           &binding->function, binding->numberPlan.get(), lua_gettop(state),
                           &binding->frameNames});
        }
    }
    return CallMethodOnOtherValue(host, state, *binding);
}

}  // namespace

int DispatchCall(HostState& host, lua_State* state, const CallTarget& target) {
    if (target.resolved == nullptr || target.lastArgument == CallTarget::StackTop) {
        return DispatchIncompleteCall(host, state, target);
    }
    return DispatchResolvedCall(host, state, target);
}

int CallMethod(lua_State* state) {
    return ProtectedFunction<&CallMethodBody>(state);
}

}  // namespace Lua
}  // namespace VelmorandScript
