#pragma once

// Test doubles shared by the suites. The registries live as long as the process, so every test
// uses names and types (TypeTag<N>) of its own.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {

/// A script function as TestScriptContext keeps it in a Value.
typedef std::function<bool(const std::vector<Value>& arguments, std::vector<Value>& results)>
    ScriptFunction;

template <class T>
Value Make(const T& native) {
    return Value(&native);
}

/// The native value `value` holds; its declared type must be T.
template <class T>
const T& Read(const Value& value) {
    return *CastTo<T>(&value, true);
}

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}
template <class T>
std::wstring NameOf() {
    return TypeOf<T>().GetName();
}

/// The message of the ScriptException that `action` throws, or "<no exception>".
inline std::wstring ScriptErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"<no exception>";
}

/// Registers a wrapper routine that hands values of each type to the script as they are.
template <class... Types>
void WrapUnchanged() {
    const ConversionRoutine unchanged = [](const Value& value, boost::shared_ptr<IScriptContext>) {
        return value;
    };
    (ConversionRegistry::GetInstance().RegisterDataWrapperRoutine(TypeOf<Types>(), unchanged), ...);
}

/// What a WrapWith routine hands to the script.
struct Wrapped {
    int wrapper;
    Value original;
    IScriptContext* context;
};

template <int N>
Value WrapWith(const Value& value, boost::shared_ptr<IScriptContext> context) {
    return Make(Wrapped{N, value, context.get()});
}
/// The N of the WrapWith routine that wrapped `value`, or 0 when it holds no Wrapped.
inline int WrappedBy(const Value& value) {
    return value.GetType() == TypeOf<Wrapped>() ? Read<Wrapped>(value).wrapper : 0;
}

template <int N>
struct TypeTag {};

/// A function descriptor whose body is never run.
inline boost::shared_ptr<NativeFunction> MakeFunction(const wchar_t* name, int style,
                                                      const wchar_t* className = L"") {
    return boost::make_shared<NativeFunction>(name, className, L"TestModule", false, style,
                                              NativeFunction::Body());
}

template <int N>
boost::shared_ptr<Class> MakeClass(const wchar_t* scriptName, const wchar_t* baseName = nullptr,
                                   bool hidden = false) {
    return boost::make_shared<Class>(TypeOf<TypeTag<N>>(), scriptName, baseName, L"TestModule",
                                     hidden);
}
template <int N>
boost::shared_ptr<Class> RegisterClass(const wchar_t* scriptName, const wchar_t* baseName = nullptr,
                                       bool hidden = false) {
    const auto added = MakeClass<N>(scriptName, baseName, hidden);
    ClassRegistry::GetInstance().AddClass(added);
    return added;
}

/// Registers "VelmorandScript::Array", the class every Array binds to (a second time is ignored).
inline void RegisterArrayClass() {
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<IArray>(), L"VelmorandScript::Array", nullptr, L"VelmorandScript", false));
}

/// An Array without items (after registering the class it binds to).
inline boost::shared_ptr<Array> MakeEmptyArray() {
    RegisterArrayClass();
    return boost::make_shared<Array>(boost::make_shared<StdVector<long>>(nullptr));
}

/// One frame of the host's call stack; argument errors name arguments by number or by name.
class TestScriptCall : public IScriptCall {
public:
    TestScriptCall(std::wstring functionName, bool byNumber = true)
        : m_function(std::move(functionName)), m_byNumber(byNumber) {}
    int UsesArgumentNumbers() const override { return m_byNumber ? 1 : 0; }
    std::wstring GetCalledClassName() const override { return L"Test"; }
    std::wstring GetCalledFunctionName() const override { return m_function; }

private:
    std::wstring m_function;
    bool m_byNumber;
};

/// A context whose script is a map of variables. InvokeScriptFunction records the flag of every
/// call and runs ScriptFunction values; other values are not callable.
class TestScriptContext : public ScriptContext {
public:
    static boost::shared_ptr<TestScriptContext> Create() {
        return boost::make_shared<TestScriptContext>();
    }

    std::wstring GetScriptName() const override { return L"test.script"; }
    std::wstring GetScriptLanguage() const override { return L"Test"; }
    void CancelScript() override {}
    bool IsCancelRequested() const override { return false; }
    Value GetScriptVariable(const std::wstring& name) override {
        const auto found = m_variables.find(name);
        return found == m_variables.end() ? Value() : found->second;
    }
    void SetScriptVariable(const std::wstring& name, const Value& value) override {
        m_variables[name] = value;
    }
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override {
        invokedFlags.push_back(flag);
        return function.GetType() == TypeOf<ScriptFunction>() &&
               Read<ScriptFunction>(function)(arguments, results);
    }

    void SetEventHandler(ScriptFunction handler) {
        SetScriptVariable(L"VelmorandScript::EVENT_HANDLER_ROUTINE", Make(handler));
    }

    mutable std::vector<bool> invokedFlags;

private:
    std::map<std::wstring, Value> m_variables;
};

/// Records the notices it is sent instead of offering them to a handler, then throws what
/// throwOnNotify holds, the way a handler aborts a script.
class RecordingContext : public TestScriptContext {
public:
    bool NotifyScript(const std::wstring& text, EventType type) override {
        notices.push_back(text);
        types.push_back(type);
        if (throwOnNotify) {
            std::rethrow_exception(throwOnNotify);
        }
        return true;
    }

    std::vector<std::wstring> notices;
    std::vector<EventType> types;
    std::exception_ptr throwOnNotify;
};

}  // namespace Testing
}  // namespace VelmorandScript
