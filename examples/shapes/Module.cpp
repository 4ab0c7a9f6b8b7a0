// The entry point velmorand-lua (or any host) calls once after loading the module.

#include "ModuleSupport.h"

extern "C" __attribute__((visibility("default"))) void VelmorandRegisterModule() {
    Shapes::Module::RegisterColor();
    Shapes::Module::RegisterShapeClasses();
    Shapes::Module::RegisterCanvasClass();
    Shapes::Module::RegisterScriptClass();
}
