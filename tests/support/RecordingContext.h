#pragma once

// A script context for tests: records the notices it is sent and can be told to throw from
// NotifyScript, the way a script's handler aborts a script. Everything else does nothing.

#include <VelmorandScript/Context.h>

#include <exception>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {

class RecordingContext : public IScriptContext {
public:
    struct Notice {
        std::wstring text;
        EventType type;
    };

    /// Records the notice, then throws what ThrowOnNotify was given, if anything.
    bool NotifyScript(const std::wstring& text, EventType type) override {
        m_notices.push_back(Notice{text, type});
        if (m_throwOnNotify) {
            std::rethrow_exception(m_throwOnNotify);
        }
        return true;
    }
    bool CallScriptFunction(const Value&, const std::vector<Value>&, bool,
                            std::vector<Value>&) const override {
        return false;
    }
    boost::shared_ptr<IScriptCall> GetScriptCall() const override { return {}; }
    void PushScriptCall(boost::shared_ptr<IScriptCall>) override {}
    void PopScriptCall() override {}
    std::wstring GetScriptName() const override { return L"test script"; }
    std::wstring GetScriptLanguage() const override { return L"test"; }
    void CancelScript() override {}
    bool IsCancelRequested() const override { return false; }
    Value GetScriptVariable(const std::wstring&) override { return Value(); }
    void SetScriptVariable(const std::wstring&, const Value&) override {}

    template <class Exception>
    void ThrowOnNotify(const Exception& exception) {
        m_throwOnNotify = std::make_exception_ptr(exception);
    }

    const std::vector<Notice>& GetNotices() const { return m_notices; }

private:
    std::vector<Notice> m_notices;
    std::exception_ptr m_throwOnNotify;
};

}  // namespace Testing
}  // namespace VelmorandScript
