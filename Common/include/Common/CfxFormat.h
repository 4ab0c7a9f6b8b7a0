#pragma once

/// @file
/// CfxFormat: message texts built from patterns with numbered placeholders.

#include <Common/Export.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace Common {

/// Builds a text from a pattern with the placeholders %1 to %9.
///
/// Each insertion fills the next placeholder, %1 first; every occurrence of a placeholder receives
/// the same text, and placeholders without an insertion stay as they are. A formatter without a
/// pattern yields the text of its (single) insertion. Strings and floating-point numbers are
/// inserted with `operator<<`; anything a wide stream can write (integers, bools, pointers) is
/// written into `Stream()` and committed with `AfterInsertion()`, or in one step with `Append`.
///
///     std::wstring text = Common::CfxFormat(L"%1 has %2 items") << name;  // then Append(3)
class COMMON_API CfxFormat {
public:
    /// The pattern is the text registered for the message id (see StringLoader).
    explicit CfxFormat(unsigned int messageId);
    /// The pattern is the given text.
    explicit CfxFormat(const std::wstring& pattern);
    /// No pattern: the result is the inserted text.
    CfxFormat();
    ~CfxFormat();

    /// Not copyable: the formatter owns its stream.
    CfxFormat(const CfxFormat&) = delete;
    /// Not copyable: the formatter owns its stream.
    CfxFormat& operator=(const CfxFormat&) = delete;

    /// The stream whose text becomes the next insertion once AfterInsertion is called.
    std::wostream& Stream();
    /// Commits what was written into Stream() as the next insertion and empties the stream.
    void AfterInsertion();

    /// Inserts any value a wide stream can write.
    template <class T>
    CfxFormat& Append(const T& value) {
        Stream() << value;
        AfterInsertion();
        return *this;
    }

    /// Inserts a ready text as the next insertion.
    CfxFormat& InsertText(std::wstring text);

    /// The pattern with every filled placeholder replaced.
    std::wstring ToString() const;
    /// The same as ToString().
    operator std::wstring() const { return ToString(); }

private:
    std::wstring m_pattern;
    bool m_hasPattern;
    std::vector<std::wstring> m_insertions;
    std::unique_ptr<std::wostringstream> m_stream;
};

/// Inserts `text` as the next insertion.
COMMON_API CfxFormat& operator<<(CfxFormat& format, const std::wstring& text);
/// Inserts the null-terminated `text` as the next insertion.
COMMON_API CfxFormat& operator<<(CfxFormat& format, const wchar_t* text);
/// Floating-point numbers are written in their shortest form that reads back to the same value
/// ("2.5", "16777216", "1e+300", "inf", "nan").
COMMON_API CfxFormat& operator<<(CfxFormat& format, float number);
/// As the float overload: the shortest text that reads back to the same double.
COMMON_API CfxFormat& operator<<(CfxFormat& format, double number);

}  // namespace Common
