#include "errors/Format.h"

namespace VelmorandScript {
namespace Detail {

namespace {

void AppendEscaped(std::wstring& shown, std::wstring_view text) {
    for (const wchar_t character : text) {
        if (character == L'\0') {
            shown += L"\\0";
        } else {
            shown += character;
        }
    }
}

}  // namespace

std::wstring ShownText(std::wstring_view text) {
    const bool cut = text.size() > kShownTextLength;
    std::wstring shown;
    AppendEscaped(shown, cut ? text.substr(0, kShownTextLength) : text);
    if (cut) {
        shown += L'\u2026';
    }
    return shown;
}

std::wstring ShownWhole(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    AppendEscaped(shown, text);
    return shown;
}

}  // namespace Detail
}  // namespace VelmorandScript
