#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <utility>

namespace VelmorandScript {

namespace {

const wchar_t* const EventHandlerVariable = L"VelmorandScript::EVENT_HANDLER_ROUTINE";

/// A handler asks to abort the script by returning exactly one `long` 0.
bool AsksForAbort(const std::vector<Value>& results) {
    if (results.size() != 1 || results[0].GetType().Compare(DataType(typeid(long))) != 0) {
        return false;
    }
    const long* answer = CastTo<long>(&results[0], false);
    return answer != nullptr && *answer == 0;
}

}  // namespace

ScriptContext::ScriptContext() = default;

ScriptContext::ScriptContext(const ScriptContext& other)
    : IScriptContext(other), m_calls(other.m_calls) {}

ScriptContext& ScriptContext::operator=(const ScriptContext& other) {
    IScriptContext::operator=(other);
    m_calls = other.m_calls;
    return *this;
}

ScriptContext::~ScriptContext() = default;

bool ScriptContext::NotifyScript(const std::wstring& text, EventType type) {
    const long eventType = static_cast<long>(type);
    const std::vector<Value> handlerArguments{Value(&eventType), Value(&text)};

    const Value handler = GetScriptVariable(EventHandlerVariable);
    if (handler.IsEmpty()) {
        return false;
    }
    std::vector<Value> results;
    const bool called = CallScriptFunction(handler, handlerArguments, false, results);
    if (called && AsksForAbort(results)) {
        throw ScriptAbortException(text);
    }
    return called;
}

bool ScriptContext::CallScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                       bool flag, std::vector<Value>& results) const {
    // Scripts can only be called back from within a call they made.
    if (m_calls.empty()) {
        return false;
    }
    std::vector<Value> wrapped;
    if (!arguments.empty()) {
        const ConversionRegistry& registry = ConversionRegistry::GetInstance();
        // Wrapper routines receive the context as shared pointer; a context not owned by one
        // throws boost::bad_weak_ptr here.
        const boost::shared_ptr<IScriptContext> self =
            boost::const_pointer_cast<IScriptContext>(shared_from_this());
        wrapped.reserve(arguments.size());
        for (const Value& argument : arguments) {
            Value copy(argument);
            if (!registry.WrapValue(self, copy)) {
                return false;
            }
            wrapped.push_back(std::move(copy));
        }
    }
    return InvokeScriptFunction(function, wrapped, flag, results);
}

boost::shared_ptr<IScriptCall> ScriptContext::GetScriptCall() const {
    return m_calls.empty() ? boost::shared_ptr<IScriptCall>() : m_calls.back();
}

void ScriptContext::PushScriptCall(boost::shared_ptr<IScriptCall> call) {
    m_calls.push_back(std::move(call));
}

void ScriptContext::PopScriptCall() {
    TakeScriptCall();
}

boost::shared_ptr<IScriptCall> ScriptContext::TakeScriptCall() {
    if (m_calls.empty()) {
        // A host's mistake rather than a script's, and the message table has no text for it.
        throw ScriptException(
            L"PopScriptCall was called with no script call in progress; every PopScriptCall "
            L"must match an earlier PushScriptCall.");
    }
    boost::shared_ptr<IScriptCall> call = std::move(m_calls.back());
    m_calls.pop_back();
    return call;
}

}  // namespace VelmorandScript
