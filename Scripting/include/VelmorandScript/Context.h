#pragma once

/// @file
/// The context of a running script: the interface native code reaches the script through
/// (IScriptContext), the script host's call frames (IScriptCall) and the library's
/// implementation of call stack, callbacks and notifications (ScriptContext).

#include <VelmorandScript/Export.h>
#include <VelmorandScript/Values.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace VelmorandScript {

/// Kinds of notifications sent to a script's handler; travels to the handler as a `long`.
enum EventType { WarningEvent = 1 };

/// One call frame of the script host. The host implements it; the library only reads it.
class VELMORAND_API IScriptCall {
public:
    virtual ~IScriptCall();
    /// Nonzero: argument errors name arguments by their 1-based number, else by their name.
    virtual int UsesArgumentNumbers() const = 0;
    /// The script name of the class whose function is being called (the host's own use).
    virtual std::wstring GetCalledClassName() const = 0;
    /// The name shown after "calling" in argument errors.
    virtual std::wstring GetCalledFunctionName() const = 0;
};

/// The context of one running script. Always owned through boost::shared_ptr<IScriptContext>;
/// an empty pointer stands for "no script involved".
class VELMORAND_API IScriptContext : public boost::enable_shared_from_this<IScriptContext> {
public:
    IScriptContext() = default;
    /// The copy's self-reference stays empty until a shared pointer owns it.
    IScriptContext(const IScriptContext& other) = default;
    /// Changes nothing: the self-reference belongs to each object.
    IScriptContext& operator=(const IScriptContext&) { return *this; }
    virtual ~IScriptContext();

    /// Offers a notification to the script's handler (see ScriptContext::NotifyScript).
    virtual bool NotifyScript(const std::wstring& text, EventType type) = 0;
    /// Calls a script function from native code (see ScriptContext::CallScriptFunction).
    virtual bool CallScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                    bool flag, std::vector<Value>& results) const = 0;
    /// The call in progress, or an empty pointer.
    virtual boost::shared_ptr<IScriptCall> GetScriptCall() const = 0;
    /// Makes `call` the call in progress; the host calls it before dispatching a script call.
    virtual void PushScriptCall(boost::shared_ptr<IScriptCall> call) = 0;
    /// Ends the call in progress; the host calls it when the dispatched call returns.
    virtual void PopScriptCall() = 0;

    // Script-side operations, supplied by the script host.

    /// The name of the running script, as the host chooses to give it.
    virtual std::wstring GetScriptName() const = 0;
    /// The name of the script language ("Lua" for the Lua host).
    virtual std::wstring GetScriptLanguage() const = 0;
    /// Asks the running script to stop at its next instruction with ScriptCancelException.
    virtual void CancelScript() = 0;
    /// Whether CancelScript was called for the current (or the next) run.
    virtual bool IsCancelRequested() const = 0;
    /// The value the script holds under the name, or an empty value.
    virtual Value GetScriptVariable(const std::wstring& name) = 0;
    /// Makes the script hold `value` under the name; the host decides how it wraps the value.
    virtual void SetScriptVariable(const std::wstring& name, const Value& value) = 0;
};

/// The library's context implementation: the stack of script calls in progress, callbacks into
/// script functions and notifications to the handler the script keeps under
/// "VelmorandScript::EVENT_HANDLER_ROUTINE". The script host derives its context from it.
class VELMORAND_API ScriptContext : public IScriptContext {
public:
    /// Copies the call stack; the copies share the frame objects.
    ScriptContext(const ScriptContext& other);
    /// Replaces the call stack by a copy of `other`'s; self-assignment changes nothing.
    ScriptContext& operator=(const ScriptContext& other);
    /// Releases every frame still on the stack.
    ~ScriptContext() override;

    /// Calls the handler with (the type as `long`, the text). Returns false when the script has
    /// no handler or the call could not be made; throws ScriptAbortException carrying `text` when
    /// the handler returned exactly one `long` 0.
    bool NotifyScript(const std::wstring& text, EventType type) override;
    /// Wraps each argument with ConversionRegistry::WrapValue and calls InvokeScriptFunction.
    /// Returns false without calling when no script call is in progress or an argument cannot
    /// be wrapped.
    bool CallScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                            std::vector<Value>& results) const override;
    /// The last pushed frame, or an empty pointer when the stack is empty.
    boost::shared_ptr<IScriptCall> GetScriptCall() const override;
    /// Appends the frame to the stack (an empty pointer like any other).
    void PushScriptCall(boost::shared_ptr<IScriptCall> call) override;
    /// Removes the call in progress; throws ScriptException when there is none.
    void PopScriptCall() override;
    /// Removes the call in progress like PopScriptCall (throwing as it does when there is none)
    /// and hands its frame back, so that a host can push the same frame for its next call
    /// without a reference-count change on either side. An override of PopScriptCall does not
    /// see it.
    boost::shared_ptr<IScriptCall> TakeScriptCall();
    /// As PushScriptCall, taking the frame over, inline and without a virtual call: a host
    /// pushes a frame for every script call into native code, which is often cheaper than that.
    /// An override of PushScriptCall does not see it.
    void EnterScriptCall(boost::shared_ptr<IScriptCall>&& call) {
        m_calls.push_back(std::move(call));
    }
    /// As TakeScriptCall, inline, moving the frame into `call`.
    void LeaveScriptCall(boost::shared_ptr<IScriptCall>& call) {
        if (m_calls.empty()) {
            TakeScriptCall();  // throws
        }
        call = std::move(m_calls.back());
        m_calls.pop_back();
    }

    /// Calls the script function `function` designates with the wrapped arguments and puts its
    /// results into `results`; true when the call was made. Supplied by the script host.
    virtual bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                      bool flag, std::vector<Value>& results) const = 0;

protected:
    ScriptContext();

private:
    std::vector<boost::shared_ptr<IScriptCall>> m_calls;
};

}  // namespace VelmorandScript
