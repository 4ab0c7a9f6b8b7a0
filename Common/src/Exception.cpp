#include <Common/Exception.h>

#include <Common/Text.h>

namespace Common {

struct Exception::Texts {
    std::wstring message;
    std::string utf8;
};

Exception::Exception(const char* file, int line, const std::wstring& message, int code)
    : m_file(file != nullptr ? file : ""),
      m_line(line),
      m_code(code),
      m_texts(std::make_shared<const Texts>(Texts{message, ToUtf8(message)})) {}

Exception::Exception(const Exception& other) noexcept = default;

Exception& Exception::operator=(const Exception& other) noexcept = default;

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    return m_texts->utf8.c_str();
}

const std::wstring& Exception::GetExceptionMessage() const {
    return m_texts->message;
}

}  // namespace Common
