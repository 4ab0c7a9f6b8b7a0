#pragma once

// The host's own script classes: arrays, and the class, function and argument descriptors that
// the `velmorand` library lists.

namespace VelmorandScript {
namespace Lua {

/// Registers "VelmorandScript::Array", "VelmorandScript::Class", "VelmorandScript::Function"
/// and "VelmorandScript::Argument" with the class registry.
void RegisterHostClasses();

}  // namespace Lua
}  // namespace VelmorandScript
