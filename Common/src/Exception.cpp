#include <Common/Exception.h>

#include <Common/Text.h>

namespace Common {

Exception::Exception(const char* file, int line, const std::wstring& message, int code)
    : m_file(file != nullptr ? file : ""),
      m_line(line),
      m_code(code),
      m_message(message),
      m_utf8(ToUtf8(message)) {}

Exception::Exception(const Exception& other) = default;

Exception& Exception::operator=(const Exception& other) = default;

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    return m_utf8.c_str();
}

const std::wstring& Exception::GetExceptionMessage() const {
    return m_message;
}

}  // namespace Common
