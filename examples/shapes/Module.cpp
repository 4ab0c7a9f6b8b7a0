// The entry point velmorand-lua (or any host) calls once after loading the module.

#include "ModuleSupport.h"
#include "Shapes.h"

extern "C" __attribute__((visibility("default"))) void VelmorandRegisterModule() {
    Shapes::Module::RegisterColor();
    Shapes::Module::RegisterShapeClasses();
    Shapes::Module::RegisterCanvasClass();
    Shapes::Module::RegisterScriptClass();
}

/// How many shapes and canvases exist, for tests that check that scripts release them all.
extern "C" __attribute__((visibility("default"))) long VelmorandShapesLiveObjects() {
    return Shapes::CountLiveObjects();
}
