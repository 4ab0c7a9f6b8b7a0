#include "ModuleLoader.h"

#include <unistd.h>

#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

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

}  // namespace

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
