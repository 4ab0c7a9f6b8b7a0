#include "TypedCalls.h"

#include "LuaText.h"
#include "ObjectUserdata.h"

#include <algorithm>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

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
        if (!Hosting::IsContextArgument(argument) &&
            Hosting::IsScriptInputStyle(argument.GetStyle())) {
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
            push =
                Hosting::IsWrappedUnchanged(DataType(typeid(double))) ? ResultPush::Double : push;
            break;
        case TypedKind::Long:
            push = Hosting::IsWrappedUnchanged(DataType(typeid(long))) ? ResultPush::Long : push;
            break;
        case TypedKind::Bool:
            push = Hosting::IsWrappedUnchanged(DataType(typeid(bool))) ? ResultPush::Bool : push;
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

bool TypedCallPlan::ReadOtherArgument(lua_State* state, int index, std::size_t parameter,
                                      TypedArgument& argument, std::wstring* texts) const {
    switch (m_entry.GetParameterKinds()[parameter]) {
        case TypedKind::Bool:
            if (!lua_isboolean(state, index)) {
                return false;
            }
            argument.asBool = lua_toboolean(state, index) != 0;
            return true;
        case TypedKind::Text:
            // Numbers are converted to texts the descriptor way.
            if (lua_type(state, index) != LUA_TSTRING) {
                return false;
            }
            texts[parameter] = ToWideString(state, index);
            argument.text = &texts[parameter];
            return true;
        case TypedKind::Object: {
            const boost::shared_ptr<IObject>* object = ToObjectUserdata(state, index);
            if (object == nullptr) {
                return false;
            }
            const IObject& wrapper = **object;
            if (typeid(wrapper) != typeid(Object)) {
                return false;  // another wrapper may present a new value each time
            }
            const Value& presented = static_cast<const Object&>(wrapper).GetScriptedObjectRef();
            if (presented.GetType() != m_objectTypes[parameter]) {
                return false;
            }
            argument.object = &presented;
            return true;
        }
        default:
            return false;
    }
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

}  // namespace Lua
}  // namespace VelmorandScript
