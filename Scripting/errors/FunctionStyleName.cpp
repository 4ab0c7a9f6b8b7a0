#include <VelmorandScript/Errors.h>

namespace VelmorandScript {

namespace {

struct StyleName {
    unsigned int flag;
    const wchar_t* name;
};

// In the order the names are listed.
const StyleName s_styleNames[] = {
    {0x1, L"static"},        {0x2, L"instance"}, {0x4, L"constructor"}, {0x8, L"property get"},
    {0x10, L"property set"}, {0x20, L"command"}, {0x40, L"destructor"}, {0x100, L"filter"},
};

}  // namespace

std::wstring GetFunctionStyleName(long style) {
    std::wstring text;
    for (const StyleName& entry : s_styleNames) {
        if ((static_cast<unsigned long>(style) & entry.flag) != 0) {
            if (!text.empty()) {
                text += L" | ";
            }
            text += entry.name;
        }
    }
    return text.empty() ? std::wstring(L"[empty]") : text;
}

}  // namespace VelmorandScript
