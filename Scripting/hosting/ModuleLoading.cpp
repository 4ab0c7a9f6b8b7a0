#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <dlfcn.h>
#include <link.h>

#include <exception>
#include <mutex>
#include <set>

namespace VelmorandScript {
namespace Hosting {

namespace {

const char* const registrationFunction = "VelmorandRegisterModule";

typedef void (*Registration)();

[[noreturn]] void RaiseModuleError(const std::string& text) {
    throw ScriptException(Common::ToWString(text));
}

/// The module's registration function. A data symbol of that name would be called as code: its
/// type in the symbol table tells.
Registration FindRegistration(void* module, const std::string& path) {
    void* symbol = dlsym(module, registrationFunction);
    if (symbol == nullptr) {
        RaiseModuleError("module " + path + " does not export " + registrationFunction + "()");
    }
    Dl_info info;
    void* entry = nullptr;
    if (dladdr1(symbol, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) {
        RaiseModuleError("module " + path + ": cannot tell whether " + registrationFunction +
                         " is a function");
    }
    const unsigned char type = ELF64_ST_TYPE(static_cast<const ElfW(Sym)*>(entry)->st_info);
    if (type != STT_FUNC && type != STT_GNU_IFUNC) {
        RaiseModuleError("module " + path + " exports " + registrationFunction +
                         ", but not as a function: it must be extern \"C\" void " +
                         registrationFunction + "()");
    }
    return reinterpret_cast<Registration>(symbol);
}

}  // namespace

void LoadModule(const std::string& path) {
    // Never closed, and RTLD_NODELETE keeps it even should a handle be closed: the registry
    // points into the module's code for as long as the process runs.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) {
        RaiseModuleError(std::string("cannot load module: ") + dlerror());
    }
    // dlopen hands out the same handle for a file loaded already, under whatever path. Never
    // destroyed: modules may be loaded until the process ends.
    static std::mutex* const lock = new std::mutex;
    static std::set<void*>* const registered = new std::set<void*>;
    const std::lock_guard<std::mutex> guard(*lock);
    if (registered->count(module) != 0) {
        return;
    }
    const Registration registration = FindRegistration(module, path);
    registered->insert(module);
    try {
        registration();
    } catch (const std::exception& exception) {
        RaiseModuleError("module " + path + " failed to register: " + exception.what());
    } catch (...) {
        RaiseModuleError("module " + path + " failed to register");
    }
}

}  // namespace Hosting
}  // namespace VelmorandScript
