#pragma once

// Application modules: shared libraries that export `extern "C" void VelmorandRegisterModule()`.

#include <string>

namespace VelmorandScript {
namespace Lua {

/// Loads the module and calls its registration function once. Returns an empty text on success,
/// else what went wrong. The module stays loaded until the process ends: its classes refer to it.
std::string LoadModule(const std::string& path);

/// The sample module: next to the program, in the installed library folder (found from the
/// program's folder), or where it was built.
/// Empty when none of these exists.
std::string FindDefaultModule();

}  // namespace Lua
}  // namespace VelmorandScript
