#include "support/ScriptLogReader.h"

#include <VelmorandScript/Errors.h>

#include <Common/Text.h>

#include <fstream>

namespace VelmorandScript {
namespace Testing {

void RestartScriptLog() {
    DebugLog(L"", 0, 0, false, true);
}

std::vector<std::wstring> ReadScriptLogLines() {
    std::vector<std::wstring> lines;
    std::ifstream file("script.log", std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        lines.push_back(Common::ToWString(line));
    }
    return lines;
}

}  // namespace Testing
}  // namespace VelmorandScript
