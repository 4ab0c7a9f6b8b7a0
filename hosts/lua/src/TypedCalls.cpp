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
            argument.object = plan.TakeObject(parameter, **object);
            return argument.object != nullptr;
        }
        default:
            return false;
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
