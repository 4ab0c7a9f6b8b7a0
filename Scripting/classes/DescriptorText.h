#pragma once

// Descriptors keep the text pointers they are given, and null is accepted; messages and log lines
// show a null text as empty instead of handing a null pointer to the formatter.

namespace VelmorandScript {
namespace Detail {

inline const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text ? text : L"";
}

}  // namespace Detail
}  // namespace VelmorandScript
