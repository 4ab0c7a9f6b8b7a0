#include <VelmorandScript/Errors.h>

#include <Common/StringTable.h>

namespace VelmorandScript {

ScriptException::ScriptException(const std::wstring& message)
    : Common::Exception("", 0, message, 0) {}

ScriptException::ScriptException(unsigned int messageId)
    : ScriptException(Common::StringLoader::Instance().GetString(messageId)) {}

ScriptException::ScriptException(const ScriptException& other) noexcept
    : Common::Exception(other) {}

ScriptException& ScriptException::operator=(const ScriptException& other) noexcept {
    Common::Exception::operator=(other);
    return *this;
}

ScriptException::~ScriptException() {}

ScriptCancelException::ScriptCancelException() : ScriptException(Messages::ScriptWasCanceled) {}

ScriptCancelException::ScriptCancelException(const ScriptCancelException& other) noexcept
    : ScriptException(other) {}

ScriptCancelException& ScriptCancelException::operator=(
    const ScriptCancelException& other) noexcept {
    ScriptException::operator=(other);
    return *this;
}

ScriptCancelException::~ScriptCancelException() {}

ScriptAbortException::ScriptAbortException(const std::wstring& message)
    : ScriptException(message) {}

ScriptAbortException::ScriptAbortException(const ScriptAbortException& other) noexcept
    : ScriptException(other) {}

ScriptAbortException& ScriptAbortException::operator=(const ScriptAbortException& other) noexcept {
    ScriptException::operator=(other);
    return *this;
}

ScriptAbortException::~ScriptAbortException() {}

}  // namespace VelmorandScript
