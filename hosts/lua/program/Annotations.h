#pragma once

// Type annotations for the Lua language server (LuaLS): script authors' editors complete and
// check the registered classes as the Lua host presents them.

#include <ostream>

namespace VelmorandScript {
namespace Lua {

/// Writes a LuaLS definition file (`---@meta`) for every visible registered class: its table,
/// its properties as fields, its methods, static functions and constructor (`new`) with their
/// parameters and results, what the listings (`velmorand.classes()`) show. Call once the
/// modules have registered, the classes are checked and the host's classes are registered.
void WriteAnnotations(std::ostream& out);

}  // namespace Lua
}  // namespace VelmorandScript
