#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Hosting.h>

#include <algorithm>
#include <typeinfo>

namespace VelmorandScript {
namespace Hosting {

TypedCallPlan::TypedCallPlan(const Function& function, const TypedEntry& entry,
                             std::vector<DataType> objectTypes, ResultPush resultPush,
                             bool takesTexts)
    : m_function(function),
      m_entry(entry),
      m_objectTypes(std::move(objectTypes)),
      m_resultPush(resultPush),
      m_takesTexts(takesTexts) {}

std::unique_ptr<const TypedCallPlan> TypedCallPlan::For(const IFunction& function) {
    const auto* described = dynamic_cast<const Function*>(&function);
    const TypedEntry* entry = described != nullptr ? described->GetTypedEntry() : nullptr;
    // Logging is switched once per process: a logged call takes the descriptor path, which
    // writes the log lines.
    if (entry == nullptr || (function.GetStyle() & DeprecatedStyle) != 0 ||
        IsScripLoggingEnabled()) {
        return nullptr;
    }
    std::vector<DataType> objectTypes;
    for (const Argument& argument : function.GetArguments()) {
        if (!IsContextArgument(argument) && IsScriptInputStyle(argument.GetStyle())) {
            objectTypes.push_back(argument.GetType());
        }
    }
    if (objectTypes.size() != entry->GetParameterCount()) {
        return nullptr;  // described otherwise than its entry: the descriptors rule
    }
    ResultPush push = ResultPush::Boxed;
    switch (entry->GetResultKind()) {
        case TypedKind::None:
            push = ResultPush::None;
            break;
        case TypedKind::Double:
            push = IsWrappedUnchanged(DataType(typeid(double))) ? ResultPush::Double : push;
            break;
        case TypedKind::Long:
            push = IsWrappedUnchanged(DataType(typeid(long))) ? ResultPush::Long : push;
            break;
        case TypedKind::Bool:
            push = IsWrappedUnchanged(DataType(typeid(bool))) ? ResultPush::Bool : push;
            break;
        default:
            break;
    }
    const TypedKind* kinds = entry->GetParameterKinds();
    const bool takesTexts = std::find(kinds, kinds + entry->GetParameterCount(), TypedKind::Text) !=
                            kinds + entry->GetParameterCount();
    return std::unique_ptr<const TypedCallPlan>(
        new TypedCallPlan(*described, *entry, std::move(objectTypes), push, takesTexts));
}

void TypedCallPlan::BoxResult(TypedResult& result) const {
    switch (m_entry.GetResultKind()) {
        case TypedKind::Double:
            result.boxed = Value(&result.asDouble);
            break;
        case TypedKind::Long:
            result.boxed = Value(&result.asLong);
            break;
        case TypedKind::Bool:
            result.boxed = Value(&result.asBool);
            break;
        default:
            break;
    }
}

}  // namespace Hosting
}  // namespace VelmorandScript
