#pragma once

// Where velmorand-lua finds the sample module. Modules themselves are loaded by the library
// (VelmorandScript::Hosting::LoadModule), which keeps them loaded until the process ends.

#include <string>

namespace VelmorandScript {
namespace Lua {

/// The sample module: next to the program, in the installed library folder (found from the
/// program's folder), or where it was built.
/// Empty when none of these exists.
std::string FindDefaultModule();

}  // namespace Lua
}  // namespace VelmorandScript
