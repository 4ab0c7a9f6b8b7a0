#include <VelmorandScript/Errors.h>

#include "LibraryStatics.h"

#include <Common/Text.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace VelmorandScript {

namespace {

// Plain bools: constant-initialised, so both are false before any code of the library runs.
bool s_loggingComputed = false;
bool s_loggingEnabled = false;

}  // namespace

bool IsScripLoggingEnabled() {
    if (!s_loggingComputed) {
        s_loggingComputed = true;
        s_loggingEnabled = std::getenv("ENABLE_SCRIPT_LOGGING") != nullptr;
    }
    return s_loggingEnabled;
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
