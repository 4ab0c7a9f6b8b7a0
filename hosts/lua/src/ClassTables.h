#pragma once

// Registered classes as Lua tables: "Shapes::Circle" is the table Shapes.Circle, whose `new`
// calls the constructor and whose other fields are the class's static functions. Each is
// resolved when first used and kept in the table as a closure.

#include <lua.hpp>

namespace VelmorandScript {
namespace Lua {

/// Makes the table of every visible registered class, nested by the parts of its script name.
/// A class whose place is taken by a global that is no table is left out.
void BuildClassTables(lua_State* state);

}  // namespace Lua
}  // namespace VelmorandScript
