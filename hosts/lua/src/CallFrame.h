#pragma once

// The call frame the host pushes for each script call into native code, and the scratch a call
// works with. Both are reused from call to call: a frame or an argument vector made anew for
// every call cost more than the call itself.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

/// A descriptor's text, or "" for none.
inline const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

/// The texts a call frame shows: the class's script name and the function's name.
struct CallNames {
    const wchar_t* className = L"";
    const wchar_t* functionName = L"";
};

/// The frame of one call. It keeps the class's and the function's own texts, which live as long
/// as their module, and makes strings of them only when asked.
class CallFrame : public IScriptCall {
public:
    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return m_className; }
    std::wstring GetCalledFunctionName() const override {
        return std::wstring(m_className) + L"::" + m_functionName;
    }

    /// Names the call this frame now stands for.
    void Name(const wchar_t* className, const wchar_t* functionName) {
        m_className = TextOrEmpty(className);
        m_functionName = TextOrEmpty(functionName);
    }
    void Name(const CallNames& names) {
        m_className = names.className;
        m_functionName = names.functionName;
    }
    /// A renamed function runs under its new name.
    void Redirect(const wchar_t* functionName) { m_functionName = TextOrEmpty(functionName); }

private:
    const wchar_t* m_className = L"";
    const wchar_t* m_functionName = L"";
};

/// What one call leases from the host: its frame and its argument vector.
struct CallScratch {
    /// A CallFrame, kept as the context's stack keeps it.
    boost::shared_ptr<IScriptCall> frame;
    std::vector<Value> values;
};

}  // namespace Lua
}  // namespace VelmorandScript
