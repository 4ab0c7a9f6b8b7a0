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

    RecordingContext() = default;

    /// Records the notice, then throws `m_throwOnNotify` when one is set; returns `m_notifyResult`.
    bool NotifyScript(const std::wstring& text, EventType type) override;
    bool CallScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                            std::vector<Value>& results) const override;
    boost::shared_ptr<IScriptCall> GetScriptCall() const override;
    void PushScriptCall(boost::shared_ptr<IScriptCall> call) override;
    void PopScriptCall() override;
    std::wstring GetScriptName() const override;
    std::wstring GetScriptLanguage() const override;
    void CancelScript() override;
    bool IsCancelRequested() const override;
    Value GetScriptVariable(const std::wstring& name) override;
    void SetScriptVariable(const std::wstring& name, const Value& value) override;

    /// Makes every later NotifyScript throw a copy of `exception` (after recording the notice).
    template <class Exception>
    void ThrowOnNotify(const Exception& exception) {
        m_throwOnNotify = std::make_exception_ptr(exception);
    }

    const std::vector<Notice>& GetNotices() const { return m_notices; }
    void ClearNotices() { m_notices.clear(); }
    void SetNotifyResult(bool result) { m_notifyResult = result; }

private:
    std::vector<Notice> m_notices;
    std::exception_ptr m_throwOnNotify;
    bool m_notifyResult = true;
    bool m_cancelRequested = false;
    std::vector<boost::shared_ptr<IScriptCall>> m_calls;
};

}  // namespace Testing
}  // namespace VelmorandScript
