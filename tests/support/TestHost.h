#pragma once

// A small script host for tests: a context that keeps script variables in a map and records the
// script functions it is asked to call, a call frame, and array and hash storage over standard
// containers.

#include <VelmorandScript/Context.h>
#include <VelmorandScript/Objects.h>

#include <boost/shared_ptr.hpp>

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

/// One frame of the test host's call stack.
class TestScriptCall : public IScriptCall {
public:
    TestScriptCall(std::wstring className, std::wstring functionName,
                   bool usesArgumentNumbers = true);

    int UsesArgumentNumbers() const override { return m_usesArgumentNumbers ? 1 : 0; }
    std::wstring GetCalledClassName() const override { return m_className; }
    std::wstring GetCalledFunctionName() const override { return m_functionName; }

private:
    std::wstring m_className;
    std::wstring m_functionName;
    bool m_usesArgumentNumbers;
};

/// A script context whose script is a map of variables. InvokeScriptFunction records every call;
/// a function value made by MakeScriptFunction is then run, any other value answers with the
/// configured result.
class TestScriptContext : public ScriptContext {
public:
    struct Call {
        Value function;
        std::vector<Value> arguments;
        bool flag;
    };

    TestScriptContext();
    TestScriptContext(const TestScriptContext& other);
    TestScriptContext& operator=(const TestScriptContext& other);
    ~TestScriptContext() override;

    /// A context owned by a shared pointer, as the library requires for callbacks.
    static boost::shared_ptr<TestScriptContext> Create();

    std::wstring GetScriptName() const override { return L"test.script"; }
    std::wstring GetScriptLanguage() const override { return L"Test"; }
    void CancelScript() override { m_cancelRequested = true; }
    bool IsCancelRequested() const override { return m_cancelRequested; }
    Value GetScriptVariable(const std::wstring& name) override;
    void SetScriptVariable(const std::wstring& name, const Value& value) override;
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override;

    /// Stores `handler` under "VelmorandScript::EVENT_HANDLER_ROUTINE".
    void SetEventHandler(ScriptFunction handler);
    /// What InvokeScriptFunction answers for a function value that is no ScriptFunction.
    void SetInvokeAnswer(bool called, std::vector<Value> results);
    /// Every call InvokeScriptFunction received, oldest first.
    const std::vector<Call>& GetInvokedCalls() const { return m_invokedCalls; }
    /// Forgets the recorded calls, releasing the wrapped arguments they hold.
    void ClearInvokedCalls() { m_invokedCalls.clear(); }

private:
    std::map<std::wstring, Value> m_variables;
    bool m_cancelRequested;
    bool m_answerCalled;
    std::vector<Value> m_answerResults;
    mutable std::vector<Call> m_invokedCalls;
};

/// Array storage over a vector of Values, as a script host keeps a script-side array.
class TestArrayValue : public IArrayValue {
public:
    TestArrayValue() = default;
    explicit TestArrayValue(std::vector<Value> items) : m_items(std::move(items)) {}

    void Add(const Value& item, bool atFront) override;
    void Clear() override { m_items.clear(); }
    void Count(long capacity) override;
    long Count() const override { return static_cast<long>(m_items.size()); }
    void Delete(long index) override;
    void Insert(long index, const Value& item) override;
    bool IsEmpty() const override { return m_items.empty(); }
    Value Item(long index) const override;
    void Replace(long index, const Value& item) override;

    const std::vector<Value>& GetItems() const { return m_items; }

private:
    bool InRange(long index) const {
        return index >= 0 && static_cast<std::size_t>(index) < m_items.size();
    }

    std::vector<Value> m_items;
};

/// Hash storage over an ordered map of Values; keys run in ascending order, "" ends them.
class TestHashValue : public IHashValue {
public:
    void Add(const std::wstring& key, const Value& item) override { m_items[key] = item; }
    void Clear() override { m_items.clear(); }
    long Count() const override { return static_cast<long>(m_items.size()); }
    void Delete(const std::wstring& key) override { m_items.erase(key); }
    bool Exists(const std::wstring& key) const override { return m_items.count(key) != 0; }
    std::wstring FirstKey() const override;
    void Insert(const std::wstring& key, const Value& item) override { m_items.emplace(key, item); }
    bool IsEmpty() const override { return m_items.empty(); }
    Value Item(const std::wstring& key) const override;
    std::wstring NextKey(const std::wstring& key) const override;
    void Replace(const std::wstring& key, const Value& item) override;

private:
    std::map<std::wstring, Value> m_items;
};

/// Registers the class "VelmorandScript::Array" (type IArray) that every Array binds to, unless
/// a class of that name is registered already.
void RegisterArrayClass();

}  // namespace Testing
}  // namespace VelmorandScript
