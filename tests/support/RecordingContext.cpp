#include "support/RecordingContext.h"

namespace VelmorandScript {
namespace Testing {

bool RecordingContext::NotifyScript(const std::wstring& text, EventType type) {
    m_notices.push_back(Notice{text, type});
    if (m_throwOnNotify) {
        std::rethrow_exception(m_throwOnNotify);
    }
    return m_notifyResult;
}

bool RecordingContext::CallScriptFunction(const Value& /*function*/,
                                          const std::vector<Value>& /*arguments*/, bool /*flag*/,
                                          std::vector<Value>& /*results*/) const {
    return false;
}

boost::shared_ptr<IScriptCall> RecordingContext::GetScriptCall() const {
    return m_calls.empty() ? boost::shared_ptr<IScriptCall>() : m_calls.back();
}

void RecordingContext::PushScriptCall(boost::shared_ptr<IScriptCall> call) {
    m_calls.push_back(std::move(call));
}

void RecordingContext::PopScriptCall() {
    if (!m_calls.empty()) {
        m_calls.pop_back();
    }
}

std::wstring RecordingContext::GetScriptName() const {
    return L"test script";
}

std::wstring RecordingContext::GetScriptLanguage() const {
    return L"test";
}

void RecordingContext::CancelScript() {
    m_cancelRequested = true;
}

bool RecordingContext::IsCancelRequested() const {
    return m_cancelRequested;
}

Value RecordingContext::GetScriptVariable(const std::wstring& /*name*/) {
    return Value();
}

void RecordingContext::SetScriptVariable(const std::wstring& /*name*/, const Value& /*value*/) {}

}  // namespace Testing
}  // namespace VelmorandScript
