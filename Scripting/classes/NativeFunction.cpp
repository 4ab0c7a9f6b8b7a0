#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

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
        throw ScriptException(Detail::FormatPattern(
            L"Function %1 of class %2 was registered without a native body to call.",
            Detail::TextOrEmpty(GetName()), Detail::TextOrEmpty(GetOwningClassName())));
    }
    m_body(object, arguments);
}

}  // namespace VelmorandScript
