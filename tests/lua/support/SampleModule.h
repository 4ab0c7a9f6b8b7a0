#pragma once

// What velmorand-lua registers before a script runs, for the host's C++ tests: the standard
// conversions, the host's routines and the sample module (kept loaded, as a host must).

#include <VelmorandScript/Lua/LuaHost.h>

#include <dlfcn.h>

#include <stdexcept>

namespace VelmorandScript {
namespace Testing {

/// Registers all of it and returns the sample module's handle; throws when it does not load.
/// Call CheckClasses after registering a test's own classes.
inline void* RegisterSampleModule() {
    StandardConversions::RegisterDataConversions();
    Lua::RegisterHostRoutines();
    void* module = dlopen(VELMORAND_SAMPLE_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) {
        throw std::runtime_error(dlerror());
    }
    reinterpret_cast<void (*)()>(dlsym(module, "VelmorandRegisterModule"))();
    return module;
}

}  // namespace Testing
}  // namespace VelmorandScript
