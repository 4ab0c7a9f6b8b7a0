#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

namespace VelmorandScript {

namespace {

/// The low four bits of the behaviour word select what PreInvoke does.
constexpr int kBehaviourMask = 0xF;
constexpr int kLetThrough = 1;
constexpr int kWarn = 2;
constexpr int kRaise = 4;

}  // namespace

DeprecatedFunction::DeprecatedFunction(const wchar_t* name, const wchar_t* owningClassName,
                                       const wchar_t* introducingModuleName, int style,
                                       int behaviour)
    : Function(name, owningClassName, introducingModuleName, false, style | DeprecatedStyle),
      m_behaviour(behaviour) {}

DeprecatedFunction::DeprecatedFunction(const DeprecatedFunction& other) = default;

DeprecatedFunction& DeprecatedFunction::operator=(const DeprecatedFunction& other) = default;

DeprecatedFunction::~DeprecatedFunction() = default;

void DeprecatedFunction::Invoke(const Value& object, std::vector<Value>& arguments) const {
    (void)object;
    (void)arguments;
}

const wchar_t* DeprecatedFunction::GetDeprecationType() const {
    return L"";
}

const wchar_t* DeprecatedFunction::GetDelegateFunctionNames() const {
    return L"";
}

bool DeprecatedFunction::PreInvoke(boost::shared_ptr<IScriptContext> context,
                                   const std::wstring& className,
                                   boost::shared_ptr<IFunction>& function) const {
    // The caller decides what to do with the function (e.g. call it under its new name).
    (void)function;
    switch (m_behaviour & kBehaviourMask) {
        case kLetThrough:
            return true;
        case kWarn:
            // Without a script there is nobody to warn; the call goes on regardless.
            if (context) {
                context->NotifyScript(GenerateMessage(className), WarningEvent);
            }
            return false;
        case kRaise:
            throw ScriptException(GenerateMessage(className));
        default:
            return false;
    }
}

std::wstring DeprecatedFunction::GenerateGenericDeprecationMessage(
    const std::wstring& className, const std::wstring& functionName) {
    return Detail::FormatMessage(Messages::DeprecatedGeneric, className, functionName);
}

std::wstring DeprecatedFunction::GenerateMessage(const std::wstring& className,
                                                 unsigned int messageId,
                                                 const wchar_t* delegateNames) const {
    return Detail::FormatMessage(messageId, className, Detail::TextOrEmpty(GetName()),
                                 Detail::TextOrEmpty(delegateNames));
}

}  // namespace VelmorandScript
