#pragma once

// Application modules: shared libraries that export `extern "C" void VelmorandRegisterModule()`.
//
// A module stays loaded for the life of the class registry, that is until the process ends: the
// registry keeps the module's classes, functions and conversions, which point into its code, so
// the host never unloads one (no dlclose; loaded with RTLD_NODELETE besides), and loading the
// same file again registers nothing twice.

#include <string>

namespace VelmorandScript {
namespace Lua {

/// Loads the module and calls its registration function, once per module however often it is
/// loaded. Returns an empty text on success, else what went wrong.
std::string LoadModule(const std::string& path);

/// The sample module: next to the program, in the installed library folder (found from the
/// program's folder), or where it was built.
/// Empty when none of these exists.
std::string FindDefaultModule();

}  // namespace Lua
}  // namespace VelmorandScript
