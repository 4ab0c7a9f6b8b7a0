#include <VelmorandScript/Errors.h>

#include "LibraryStatics.h"

#include <Common/Text.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace VelmorandScript {

bool IsScripLoggingEnabled() {
    // Read once, on first use, by whichever thread asks first; the others wait for that read.
    // Once set, asking costs one load and a branch.
    static const bool enabled = std::getenv("ENABLE_SCRIPT_LOGGING") != nullptr;
    return enabled;
}

void DebugLog(const std::wstring& message, long indent, long /*reserved*/, bool newLine,
              bool restart) {
    if (restart) {
        Detail::g_addressIds.clear();
    }
    // Opened and closed on every call so that each line is on disk while the script runs.
    std::FILE* file = std::fopen(Detail::g_logPath.AsUtf8().c_str(), restart ? "w" : "a");
    if (!file) {
        return;
    }
    for (long tab = 0; tab < indent; ++tab) {
        std::fputc('\t', file);
    }
    const std::string text = Common::ToUtf8(message);
    std::fwrite(text.data(), 1, text.size(), file);
    if (newLine) {
        std::fputc('\n', file);
    }
    std::fclose(file);
}

unsigned int GetAddressId(const void* address, bool release) {
    if (release) {
        Detail::g_addressIds.erase(address);
        return 0;
    }
    const unsigned int nextId = static_cast<unsigned int>(Detail::g_addressIds.size());
    return Detail::g_addressIds.emplace(address, nextId).first->second;
}

}  // namespace VelmorandScript
