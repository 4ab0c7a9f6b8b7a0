#include "CallDispatch.h"

#include "HostState.h"
#include "LuaReference.h"
#include "ObjectUserdata.h"
#include "ValueMarshalling.h"

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <cwchar>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

// Behaviour bit of a renamed function that the library leaves to the host: call the function
// under its new name.
constexpr int CallsNewNameBehaviour = 0x10;
// How many renames in a row a call may follow before the chain counts as a loop.
constexpr int MaximumRenames = 8;

const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

// The frame of one call. It keeps the class's and the function's own texts, which live as long
// as their module, and makes strings of them only when asked.
class LuaScriptCall : public IScriptCall {
public:
    LuaScriptCall(const wchar_t* className, const wchar_t* functionName)
        : m_className(TextOrEmpty(className)), m_functionName(TextOrEmpty(functionName)) {}

    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return m_className; }
    std::wstring GetCalledFunctionName() const override {
        return std::wstring(m_className) + L"::" + m_functionName;
    }
    /// A renamed function runs under its new name.
    void Redirect(const wchar_t* functionName) { m_functionName = TextOrEmpty(functionName); }

private:
    const wchar_t* m_className;
    const wchar_t* m_functionName;
};

/// Pushes a call frame and pops it on every way out.
class CallFrameScope {
public:
    CallFrameScope(IScriptContext& context, boost::shared_ptr<IScriptCall> frame)
        : m_context(context) {
        context.PushScriptCall(std::move(frame));
    }
    ~CallFrameScope() {
        try {
            m_context.PopScriptCall();
        } catch (...) {
            // The frame was pushed by the constructor; a failing pop has nothing left to undo.
        }
    }
    CallFrameScope(const CallFrameScope&) = delete;
    CallFrameScope& operator=(const CallFrameScope&) = delete;

private:
    IScriptContext& m_context;
};

const DataType& ContextType() {
    static const DataType type(typeid(IScriptContext));
    return type;
}

bool IsVoidType(const Argument& argument) {
    // Only a text of four characters can read "void"; the others need no strings built.
    const wchar_t* scriptType = argument.GetScriptType();
    return scriptType != nullptr && std::wcslen(scriptType) == 4 &&
           Common::CompareNoCase(scriptType, L"void", std::wstring::npos) == 0;
}

// An argument the script supplies: inputs, and arguments that carry no direction bit at all.
bool IsScriptInput(const Argument& argument) {
    if (argument.GetType() == ContextType()) {
        return false;
    }
    const long style = argument.GetStyle();
    if ((style & ReturnArgument) != 0) {
        return false;
    }
    return (style & InputArgument) != 0 || (style & OutputArgument) == 0;
}

std::wstring NameOf(const Argument& argument) {
    return argument.GetName() != nullptr ? argument.GetName() : L"";
}

std::wstring ScriptTypeOf(const Argument& argument) {
    return argument.GetScriptType() != nullptr ? argument.GetScriptType()
                                               : argument.GetType().GetName();
}

class ArgumentBuilder {
public:
    ArgumentBuilder(HostState& host, lua_State* state, const IScriptCall& frame,
                    const boost::shared_ptr<IScriptContext>& context)
        : m_host(host), m_state(state), m_frame(frame), m_context(context) {}

    /// Fills `values` (empty) with one value per argument descriptor.
    void Build(const IFunction& function, int firstArgument, std::vector<Value>& values) {
        const std::vector<Argument>& arguments = function.GetArguments();
        const int top = lua_gettop(m_state);
        values.resize(arguments.size());
        int index = firstArgument;
        unsigned int number = 0;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const Argument& argument = arguments[i];
            if (argument.GetType() == ContextType()) {
                values[i] = Value(m_context);
            } else if (IsScriptInput(argument)) {
                values[i] = BuildInput(argument, index, top, number);
                ++index;
                ++number;
            }
        }
        RejectExtraArguments(index, top, number);
    }

private:
    Value BuildInput(const Argument& argument, int index, int top, unsigned int number) {
        const bool given = index <= top;
        if (!given || lua_isnil(m_state, index)) {
            if (argument.IsOptional()) {
                return DefaultValue(argument, number);
            }
            if (!given) {
                GenerateArgumentError(L"Missing argument '" + NameOf(argument) + L"'", &m_frame,
                                      number, NameOf(argument));
            }
            if (argument.GetType() != DataType(typeid(Value))) {
                GenerateArgumentError(L"Expected " + ScriptTypeOf(argument) + L", got nil",
                                      &m_frame, number, NameOf(argument));
            }
        }
        if (argument.GetType() == DataType(typeid(IObject))) {
            if (const boost::shared_ptr<IObject>* object = ToObjectUserdata(m_state, index)) {
                return Value(*object);
            }
        }
        return Convert(ToNativeValue(m_host, m_state, index), argument, number);
    }

    Value DefaultValue(const Argument& argument, unsigned int number) {
        Value value = argument.GetDefaultValue();
        if (value.IsEmpty()) {
            value = ValueFactory::GetFactory().CreateObject(argument.GetType());
        }
        return value.IsEmpty() ? value : Convert(value, argument, number);
    }

    Value Convert(Value value, const Argument& argument, unsigned int number) {
        if (value.GetType() == argument.GetType()) {
            return value;
        }
        try {
            ConversionRegistry::GetInstance().ConvertValue(argument.GetType(),
                                                           m_host.GetSharedContext(), value, true);
        } catch (const ScriptAbortException&) {
            throw;
        } catch (const ScriptCancelException&) {
            throw;
        } catch (const LuaErrorException&) {
            throw;  // the script's notification handler failed: its error, not the argument's
        } catch (const ScriptException& error) {
            GenerateArgumentError(error.GetExceptionMessage(), &m_frame, number, NameOf(argument));
        }
        return value;
    }

    void RejectExtraArguments(int index, int top, unsigned int expected) {
        // Trailing nils are what Lua passes for absent values; only real values are extra.
        while (top >= index && lua_isnil(m_state, top)) {
            --top;
        }
        if (top >= index) {
            GenerateArgumentError(
                L"Too many arguments: the function takes " + std::to_wstring(expected), &m_frame,
                expected, L"");
        }
    }

    HostState& m_host;
    lua_State* m_state;
    const IScriptCall& m_frame;
    const boost::shared_ptr<IScriptContext>& m_context;
};

// Lends one of the host's spare argument vectors for one call and takes it back, emptied.
class ArgumentVectorLease {
public:
    explicit ArgumentVectorLease(HostState& host)
        : m_host(host), m_values(host.TakeArgumentVector()) {}
    ~ArgumentVectorLease() { m_host.ReturnArgumentVector(std::move(m_values)); }
    ArgumentVectorLease(const ArgumentVectorLease&) = delete;
    ArgumentVectorLease& operator=(const ArgumentVectorLease&) = delete;

    std::vector<Value>& Get() { return m_values; }

private:
    HostState& m_host;
    std::vector<Value> m_values;
};

// Follows deprecations: returns the function to invoke, or an empty pointer when the call is to
// do nothing. PreInvoke warns or throws as the deprecation asks.
boost::shared_ptr<IFunction> ResolveDeprecation(const boost::shared_ptr<IScriptContext>& context,
                                                const CallTarget& target,
                                                boost::shared_ptr<IFunction> function,
                                                LuaScriptCall& frame) {
    const std::wstring className = TextOrEmpty(target.scriptClass->GetScriptName());
    for (int renames = 0; (function->GetStyle() & DeprecatedStyle) != 0; ++renames) {
        const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(function.get());
        if (deprecated == nullptr) {
            return function;
        }
        if (renames == MaximumRenames) {
            throw ScriptException(L"The renames of " + className + L"::" + target.functionName +
                                  L" form a loop; fix the module's deprecated functions.");
        }
        boost::shared_ptr<IFunction> called = function;
        if (deprecated->PreInvoke(context, className, called)) {
            return function;
        }
        const wchar_t* newName = deprecated->GetDelegateFunctionNames();
        if ((deprecated->GetBehaviour() & CallsNewNameBehaviour) == 0 || newName == nullptr ||
            *newName == L'\0') {
            return boost::shared_ptr<IFunction>();
        }
        function = FindScriptFunction(target.scriptClass, newName, target.styleMask, target.object);
        if (!function) {
            throw ScriptException(L"The function " + className + L"::" + target.functionName +
                                  L" was renamed to " + newName +
                                  L", which the class does not define in the same style.");
        }
        frame.Redirect(newName);
    }
    return function;
}

int PushResults(lua_State* state, const IFunction& function, std::vector<Value>& values,
                const boost::shared_ptr<IScriptContext>& context) {
    const std::vector<Argument>& arguments = function.GetArguments();
    if (!lua_checkstack(state, static_cast<int>(arguments.size()))) {
        throw ScriptException(L"Too many results for the Lua stack.");
    }
    // Each value is pushed once and not needed afterwards, so it is handed over.
    int pushed = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if ((arguments[i].GetStyle() & ReturnArgument) != 0 && !IsVoidType(arguments[i])) {
            PushNativeValue(context, state, std::move(values[i]));
            ++pushed;
        }
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const long style = arguments[i].GetStyle();
        if ((style & OutputArgument) != 0 && (style & ReturnArgument) == 0) {
            PushNativeValue(context, state, std::move(values[i]));
            ++pushed;
        }
    }
    return pushed;
}

}  // namespace

boost::shared_ptr<IFunction> FindScriptFunction(const boost::shared_ptr<Class>& scriptClass,
                                                const std::wstring& name, long styleMask,
                                                const boost::shared_ptr<IObject>& object) {
    return scriptClass ? scriptClass->FindFunction(name, styleMask, object)
                       : boost::shared_ptr<IFunction>();
}

int DispatchCall(HostState& host, lua_State* state, const CallTarget& target) {
    CurrentThreadScope thread(host, state);
    boost::shared_ptr<IFunction> found;
    if (target.resolved == nullptr) {
        found = FindScriptFunction(target.scriptClass, target.functionName, target.styleMask,
                                   target.object);
    }
    const boost::shared_ptr<IFunction>& function =
        target.resolved != nullptr ? *target.resolved : found;
    if (!function) {
        const std::wstring className =
            target.scriptClass ? TextOrEmpty(target.scriptClass->GetScriptName()) : L"";
        throw ScriptException(className + L" has no function named '" + target.functionName +
                              L"' of style " + GetFunctionStyleName(target.styleMask) + L".");
    }
    boost::shared_ptr<LuaScriptCall> frame =
        Detail::MakeShared<LuaScriptCall>(target.scriptClass->GetScriptName(), function->GetName());
    LuaScriptCall& calling = *frame;
    CallFrameScope frameScope(host.GetOwner(), std::move(frame));

    const boost::shared_ptr<IScriptContext> context = host.GetSharedContext();
    boost::shared_ptr<IFunction> redirected;
    if ((function->GetStyle() & DeprecatedStyle) != 0) {
        redirected = ResolveDeprecation(context, target, function, calling);
        if (!redirected) {
            return 0;
        }
    }
    const IFunction& called = redirected ? *redirected : *function;
    ArgumentVectorLease values(host);
    ArgumentBuilder(host, state, calling, context)
        .Build(called, target.firstArgument, values.Get());
    called.Invoke(target.object ? target.object->GetScriptedObject() : Value(), values.Get());
    return PushResults(state, called, values.Get(), context);
}

}  // namespace Lua
}  // namespace VelmorandScript
