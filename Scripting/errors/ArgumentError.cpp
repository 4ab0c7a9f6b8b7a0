#include <VelmorandScript/Context.h>
#include <VelmorandScript/Errors.h>

#include "errors/Format.h"

namespace VelmorandScript {

void GenerateArgumentError(const std::wstring& message, const IScriptCall* call, unsigned int index,
                           const std::wstring& name) {
    if (call->UsesArgumentNumbers() != 0) {
        const unsigned int number = index + 1;
        Detail::RaiseMessage(Messages::ArgumentErrorByNumber, Detail::WholeMessage{message}, number,
                             call->GetCalledFunctionName());
    }
    Detail::RaiseMessage(Messages::ArgumentErrorByName, Detail::WholeMessage{message}, name,
                         call->GetCalledFunctionName());
}

}  // namespace VelmorandScript
