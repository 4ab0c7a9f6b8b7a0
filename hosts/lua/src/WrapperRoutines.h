#pragma once

// The wrapper routines of the host: they turn native values into the few forms that Lua knows
// (see ValueMarshalling.h): numbers become long or double, texts String, objects IObject.

namespace VelmorandScript {

class DataType;

namespace Lua {

/// Registers the wrappers of the standard types, String, DataType, boxed values, the host's Lua
/// references, objects and collections, and the generic class-instance wrapper.
void RegisterWrapperRoutines();

/// Whether the wrapper routine registered for `type` is the host's pass-through, which hands a
/// value to Lua as it is.
bool IsWrappedUnchanged(const DataType& type);

}  // namespace Lua
}  // namespace VelmorandScript
