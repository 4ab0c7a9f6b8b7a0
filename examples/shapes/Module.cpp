// The entry point velmorand-lua (or any host) calls once after loading the module.

#include "Shapes.h"

namespace Shapes {
/// Registers the module's conversions and classes (Registration.cpp).
void RegisterModule();
}  // namespace Shapes

extern "C" __attribute__((visibility("default"))) void VelmorandRegisterModule() {
    Shapes::RegisterModule();
}

/// How many shapes and canvases exist, for tests that check that scripts release them all.
extern "C" __attribute__((visibility("default"))) long VelmorandShapesLiveObjects() {
    return Shapes::CountLiveObjects();
}
