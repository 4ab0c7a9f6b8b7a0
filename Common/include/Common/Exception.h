#pragma once

/// @file
/// Common::Exception, the base of the exceptions of the Common library and its users.

#include <Common/Export.h>

#include <exception>
#include <memory>
#include <string>

namespace Common {

/// Base of every exception of the Common library and of the libraries built on it.
/// Carries a wide message; `what` gives the same message encoded as UTF-8.
///
/// Copies share the texts, which never change: copying an exception (into a handler that
/// catches by value, into an exception_ptr) allocates nothing, so it cannot fail, and a
/// failure to allocate while an exception is in flight cannot end the program.
class COMMON_API Exception : public std::exception {
public:
    /// `file` and `line` say where the exception was raised (may be "" and 0); `code` is a
    /// number of the raiser's choice.
    Exception(const char* file, int line, const std::wstring& message, int code);
    /// Shares the message and copies where it was raised.
    Exception(const Exception& other) noexcept;
    /// Shares the message and copies where it was raised.
    Exception& operator=(const Exception& other) noexcept;
    ~Exception() override;

    /// The message as UTF-8.
    const char* what() const noexcept override;
    /// The message as given.
    virtual const std::wstring& GetExceptionMessage() const;

    /// The source file that raised the exception, as given ("" when unknown).
    const char* GetFile() const { return m_file; }
    /// The line in GetFile(), as given (0 when unknown).
    int GetLine() const { return m_line; }
    /// The raiser's number, as given.
    int GetCode() const { return m_code; }

private:
    const char* m_file;
    int m_line;
    int m_code;
    struct Texts;
    /// Never null; shared by copies.
    std::shared_ptr<const Texts> m_texts;
};

}  // namespace Common
