#include "ModuleLoader.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <exception>
#include <set>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

const char* const registrationFunction = "VelmorandRegisterModule";
const char* const defaultModuleFile = "libVelmorandShapes.so";

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return std::string();
    }
    const std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsReadable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

typedef void (*Registration)();

/// The module's registration function, or null with `error` set. A data symbol of that name
/// would be called as code: its type in the symbol table tells.
Registration FindRegistration(void* module, const std::string& path, std::string& error) {
    void* symbol = dlsym(module, registrationFunction);
    if (symbol == nullptr) {
        error = "module " + path + " does not export " + registrationFunction + "()";
        return nullptr;
    }
    Dl_info info;
    void* entry = nullptr;
    if (dladdr1(symbol, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) {
        error =
            "module " + path + ": cannot tell whether " + registrationFunction + " is a function";
        return nullptr;
    }
    const unsigned char type = ELF64_ST_TYPE(static_cast<const ElfW(Sym)*>(entry)->st_info);
    if (type != STT_FUNC && type != STT_GNU_IFUNC) {
        error = "module " + path + " exports " + registrationFunction +
                ", but not as a function: it must be extern \"C\" void " + registrationFunction +
                "()";
        return nullptr;
    }
    return reinterpret_cast<Registration>(symbol);
}

}  // namespace

std::string LoadModule(const std::string& path) {
    // Never closed, and RTLD_NODELETE keeps it even should a handle be closed: the registry
    // points into the module's code for as long as the process runs.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) {
        return std::string("cannot load module: ") + dlerror();
    }
    // dlopen hands out the same handle for a file loaded already, under whatever path.
    static std::set<void*> registered;
    if (registered.count(module) != 0) {
        return std::string();
    }
    std::string error;
    const Registration registration = FindRegistration(module, path, error);
    if (registration == nullptr) {
        return error;
    }
    registered.insert(module);
    try {
        registration();
    } catch (const std::exception& exception) {
        return "module " + path + " failed to register: " + exception.what();
    } catch (...) {
        return "module " + path + " failed to register";
    }
    return std::string();
}

std::string FindDefaultModule() {
    const std::string directory = ProgramDirectory();
    std::vector<std::string> candidates;
    if (!directory.empty()) {
        candidates.push_back(directory + "/" + defaultModuleFile);
        candidates.push_back(directory + "/" + VELMORAND_LIBDIR_FROM_BINDIR + "/" +
                             defaultModuleFile);
    }
#ifdef VELMORAND_DEFAULT_MODULE
    candidates.push_back(VELMORAND_DEFAULT_MODULE);
#endif
    for (const std::string& candidate : candidates) {
        if (IsReadable(candidate)) {
            return candidate;
        }
    }
    return std::string();
}

}  // namespace Lua
}  // namespace VelmorandScript
