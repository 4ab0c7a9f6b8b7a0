#pragma once

// A small script host for tests: a context keeping script variables in a map and recording the
// script functions it is asked to call, a call frame, array storage over a vector of Values, and
// short ways to make and read values.

#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Objects.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {

/// A script function as the test host keeps it in a Value: receives the wrapped arguments,
/// fills the results and returns whether the call was made.
typedef std::function<bool(const std::vector<Value>& arguments, std::vector<Value>& results)>
    ScriptFunction;

/// A Value holding a copy of `function`, as a script variable holds a script function.
Value MakeScriptFunction(ScriptFunction function);

/// A Value holding a copy of `native`.
template <class T>
Value Make(const T& native) {
    return Value(&native);
}

/// The native value `value` holds; its declared type must be T.
template <class T>
const T& Read(const Value& value) {
    return *CastTo<T>(&value, true);
}

/// A wrapper routine that hands values to the script as they are.
Value Unchanged(const Value& value, boost::shared_ptr<IScriptContext> context);

/// Registers Unchanged as the wrapper routine of each of the types.
template <class... Types>
void WrapUnchanged() {
    (ConversionRegistry::GetInstance().RegisterDataWrapperRoutine(DataType(typeid(Types)),
                                                                  &Unchanged),
     ...);
}

/// One frame of the host's call stack; argument errors name arguments by number or by name.
class TestScriptCall : public IScriptCall {
public:
    TestScriptCall(std::wstring className, std::wstring functionName, bool byNumber = true)
        : m_class(std::move(className)),
          m_function(std::move(functionName)),
          m_byNumber(byNumber) {}
    int UsesArgumentNumbers() const override { return m_byNumber ? 1 : 0; }
    std::wstring GetCalledClassName() const override { return m_class; }
    std::wstring GetCalledFunctionName() const override { return m_function; }

private:
    std::wstring m_class, m_function;
    bool m_byNumber;
};

/// A context whose script is a map of variables. InvokeScriptFunction records every call and
/// runs function values made by MakeScriptFunction; other values are not callable.
class TestScriptContext : public ScriptContext {
public:
    struct Call {
        Value function;
        std::vector<Value> arguments;
        bool flag;
    };

    /// A context owned by a shared pointer, as the library requires for callbacks.
    static boost::shared_ptr<TestScriptContext> Create() {
        return boost::make_shared<TestScriptContext>();
    }

    std::wstring GetScriptName() const override { return L"test.script"; }
    std::wstring GetScriptLanguage() const override { return L"Test"; }
    void CancelScript() override { m_cancelRequested = true; }
    bool IsCancelRequested() const override { return m_cancelRequested; }
    Value GetScriptVariable(const std::wstring& name) override;
    void SetScriptVariable(const std::wstring& name, const Value& value) override {
        m_variables[name] = value;
    }
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override;

    /// Stores `handler` under "VelmorandScript::EVENT_HANDLER_ROUTINE".
    void SetEventHandler(ScriptFunction handler) {
        SetScriptVariable(L"VelmorandScript::EVENT_HANDLER_ROUTINE",
                          MakeScriptFunction(std::move(handler)));
    }
    const std::vector<Call>& GetInvokedCalls() const { return m_invokedCalls; }
    /// Forgets the recorded calls, releasing the wrapped arguments they hold.
    void ClearInvokedCalls() { m_invokedCalls.clear(); }

private:
    std::map<std::wstring, Value> m_variables;
    bool m_cancelRequested = false;
    mutable std::vector<Call> m_invokedCalls;
};

/// Array storage over a vector of Values, as a script host keeps a script-side array. Indexes
/// out of range are ignored; insertion positions are clamped.
class TestArrayValue : public IArrayValue {
public:
    void Add(const Value& item, bool atFront) override { Insert(atFront ? 0 : Count(), item); }
    void Clear() override { m_items.clear(); }
    void Count(long capacity) override { m_items.reserve(std::max(capacity, 0L)); }
    long Count() const override { return static_cast<long>(m_items.size()); }
    void Delete(long index) override {
        if (InRange(index)) {
            m_items.erase(m_items.begin() + index);
        }
    }
    void Insert(long index, const Value& item) override {
        m_items.insert(m_items.begin() + std::clamp(index, 0L, Count()), item);
    }
    bool IsEmpty() const override { return m_items.empty(); }
    Value Item(long index) const override { return InRange(index) ? m_items[index] : Value(); }
    void Replace(long index, const Value& item) override {
        if (InRange(index)) {
            m_items[index] = item;
        }
    }

private:
    bool InRange(long index) const { return index >= 0 && index < Count(); }

    std::vector<Value> m_items;
};

/// Registers the class "VelmorandScript::Array" (type IArray) that every Array binds to, unless
/// a class of that name is registered already.
void RegisterArrayClass();

}  // namespace Testing
}  // namespace VelmorandScript
