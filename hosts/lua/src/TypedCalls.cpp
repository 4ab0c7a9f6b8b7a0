#include "TypedCalls.h"

#include "LuaText.h"
#include "ObjectUserdata.h"

#include <algorithm>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

bool ReadOtherTypedArgument(const TypedCallPlan& plan, lua_State* state, int index,
                            std::size_t parameter, TypedArgument& argument, std::wstring* texts) {
    switch (plan.GetEntry().GetParameterKinds()[parameter]) {
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
            if (!plan.TakesObject(parameter, presented)) {
                return false;
            }
            argument.object = &presented;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
