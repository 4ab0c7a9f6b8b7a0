#pragma once

// Formatting of message texts and trace-log lines, the one way the library builds its texts.

#include <VelmorandScript/Errors.h>

#include <Common/CfxFormat.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace VelmorandScript {
namespace Detail {

/// Texts inserted into messages are cut after this many code units: a script's value may be
/// megabytes long, and its first part is all a reader needs.
constexpr std::size_t kShownTextLength = 200;

/// A text as messages show it: cut after kShownTextLength code units with "…" appended, and
/// each NUL written as "\0", since readers of what() and hosts see messages as C strings and
/// would lose everything after it.
std::wstring ShownText(std::wstring_view text);
/// The same without the cut, for a text that is a whole message in its own right.
std::wstring ShownWhole(std::wstring_view text);

/// A whole message inserted into another one (an argument error's %1): shown uncut.
struct WholeMessage {
    const std::wstring& text;
};

// Every text reaches a message through these, so that none is shown raw.
inline void Insert(Common::CfxFormat& format, const std::wstring& text) {
    format.InsertText(ShownText(text));
}
inline void Insert(Common::CfxFormat& format, const wchar_t* text) {
    format.InsertText(ShownText(text != nullptr ? std::wstring_view(text) : std::wstring_view()));
}
inline void Insert(Common::CfxFormat& format, const WholeMessage& message) {
    format.InsertText(ShownWhole(message.text));
}
inline void Insert(Common::CfxFormat& format, double number) {
    format << number;
}
inline void Insert(Common::CfxFormat& format, float number) {
    format << number;
}
/// Integers, bools and pointers go through the formatter's wide stream.
template <class T>
void Insert(Common::CfxFormat& format, const T& value) {
    format.Append(value);
}

template <class... Args>
std::wstring FormatWith(Common::CfxFormat& format, const Args&... args) {
    (Insert(format, args), ...);
    return format.ToString();
}

/// The text of a message id with its placeholders filled, %1 first.
template <class... Args>
std::wstring FormatMessage(unsigned int messageId, const Args&... args) {
    Common::CfxFormat format(messageId);
    return FormatWith(format, args...);
}

/// A literal pattern with its placeholders filled, %1 first.
template <class... Args>
std::wstring FormatPattern(const wchar_t* pattern, const Args&... args) {
    Common::CfxFormat format{std::wstring(pattern)};
    return FormatWith(format, args...);
}

/// Throws a ScriptException with the formatted text of a message id.
template <class... Args>
[[noreturn]] void RaiseMessage(unsigned int messageId, const Args&... args) {
    throw ScriptException(FormatMessage(messageId, args...));
}

/// Writes one trace-log line, indented one level. Callers ask IsScripLoggingEnabled() first, so
/// that nothing is formatted while logging is off.
template <class... Args>
void WriteLogLine(const wchar_t* pattern, const Args&... args) {
    DebugLog(FormatPattern(pattern, args...), 1, 0, true, false);
}

}  // namespace Detail
}  // namespace VelmorandScript
