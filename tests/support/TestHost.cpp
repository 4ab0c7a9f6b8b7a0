#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>

#include <boost/make_shared.hpp>

#include <utility>

namespace VelmorandScript {
namespace Testing {

Value MakeScriptFunction(ScriptFunction function) {
    return Value(&function);
}

TestScriptCall::TestScriptCall(std::wstring className, std::wstring functionName,
                               bool usesArgumentNumbers)
    : m_className(std::move(className)),
      m_functionName(std::move(functionName)),
      m_usesArgumentNumbers(usesArgumentNumbers) {}

TestScriptContext::TestScriptContext() : m_cancelRequested(false), m_answerCalled(true) {}

TestScriptContext::TestScriptContext(const TestScriptContext& other) = default;

TestScriptContext& TestScriptContext::operator=(const TestScriptContext& other) = default;

TestScriptContext::~TestScriptContext() = default;

boost::shared_ptr<TestScriptContext> TestScriptContext::Create() {
    return boost::make_shared<TestScriptContext>();
}

Value TestScriptContext::GetScriptVariable(const std::wstring& name) {
    const auto found = m_variables.find(name);
    return found == m_variables.end() ? Value() : found->second;
}

void TestScriptContext::SetScriptVariable(const std::wstring& name, const Value& value) {
    m_variables[name] = value;
}

bool TestScriptContext::InvokeScriptFunction(const Value& function,
                                             const std::vector<Value>& arguments, bool flag,
                                             std::vector<Value>& results) const {
    m_invokedCalls.push_back(Call{function, arguments, flag});
    if (function.GetType() == DataType(typeid(ScriptFunction))) {
        return (*CastTo<ScriptFunction>(&function, true))(arguments, results);
    }
    results = m_answerResults;
    return m_answerCalled;
}

void TestScriptContext::SetEventHandler(ScriptFunction handler) {
    SetScriptVariable(L"VelmorandScript::EVENT_HANDLER_ROUTINE",
                      MakeScriptFunction(std::move(handler)));
}

void TestScriptContext::SetInvokeAnswer(bool called, std::vector<Value> results) {
    m_answerCalled = called;
    m_answerResults = std::move(results);
}

void TestArrayValue::Add(const Value& item, bool atFront) {
    m_items.insert(atFront ? m_items.begin() : m_items.end(), item);
}

void TestArrayValue::Count(long capacity) {
    if (capacity > 0) {
        m_items.reserve(static_cast<std::size_t>(capacity));
    }
}

void TestArrayValue::Delete(long index) {
    if (InRange(index)) {
        m_items.erase(m_items.begin() + index);
    }
}

void TestArrayValue::Insert(long index, const Value& item) {
    const long count = Count();
    const long position = index < 0 ? 0 : (index > count ? count : index);
    m_items.insert(m_items.begin() + position, item);
}

Value TestArrayValue::Item(long index) const {
    return InRange(index) ? m_items[index] : Value();
}

void TestArrayValue::Replace(long index, const Value& item) {
    if (InRange(index)) {
        m_items[index] = item;
    }
}

std::wstring TestHashValue::FirstKey() const {
    return m_items.empty() ? std::wstring() : m_items.begin()->first;
}

Value TestHashValue::Item(const std::wstring& key) const {
    const auto found = m_items.find(key);
    return found == m_items.end() ? Value() : found->second;
}

std::wstring TestHashValue::NextKey(const std::wstring& key) const {
    const auto next = m_items.upper_bound(key);
    return next == m_items.end() ? std::wstring() : next->first;
}

void TestHashValue::Replace(const std::wstring& key, const Value& item) {
    const auto found = m_items.find(key);
    if (found != m_items.end()) {
        found->second = item;
    }
}

void RegisterArrayClass() {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    if (!registry.FindClassByScriptName(L"VelmorandScript::Array")) {
        registry.AddClass(boost::make_shared<Class>(DataType(typeid(IArray)),
                                                    L"VelmorandScript::Array", nullptr,
                                                    L"VelmorandScript", false));
    }
}

}  // namespace Testing
}  // namespace VelmorandScript
