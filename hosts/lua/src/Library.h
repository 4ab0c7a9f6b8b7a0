#pragma once

// The `velmorand` Lua library: listings of the registered classes and the script's notification
// handler.

#include <lua.hpp>

namespace VelmorandScript {
namespace Lua {

/// The global name under which a script keeps its notification handler.
extern const wchar_t* const eventHandlerName;

/// Sets the global table `velmorand`.
void OpenVelmorandLibrary(lua_State* state);

}  // namespace Lua
}  // namespace VelmorandScript
