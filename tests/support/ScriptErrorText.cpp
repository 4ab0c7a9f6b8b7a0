#include "support/ScriptErrorText.h"

#include <VelmorandScript/Errors.h>

namespace VelmorandScript {
namespace Testing {

std::wstring ScriptErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"<no exception>";
}

}  // namespace Testing
}  // namespace VelmorandScript
