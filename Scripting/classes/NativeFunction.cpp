#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

#include <string>
#include <utility>

namespace VelmorandScript {

NativeFunction::NativeFunction(const wchar_t* name, const wchar_t* owningClassName,
                               const wchar_t* introducingModuleName, bool isConst, int style,
                               Body body)
    : Function(name, owningClassName, introducingModuleName, isConst, style),
      m_body(std::move(body)) {}

NativeFunction::~NativeFunction() = default;

void NativeFunction::Invoke(const Value& object, std::vector<Value>& arguments) const {
    if (!m_body) {
        // A function with nothing to run cannot be applied: the table's text for that, with
        // the name qualified as deprecation messages write it.
        Detail::RaiseMessage(Messages::NonApplicableFunction,
                             std::wstring(Detail::TextOrEmpty(GetOwningClassName())) + L"::" +
                                 Detail::TextOrEmpty(GetName()));
    }
    m_body(object, arguments);
}

}  // namespace VelmorandScript
