#pragma once

// Reading the trace log "script.log" that the library writes into the working folder.

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {

/// Empties the trace log (and resets its address ids).
void RestartScriptLog();

/// The lines of the trace log, decoded from UTF-8, without their line breaks; none when the
/// file does not exist.
std::vector<std::wstring> ReadScriptLogLines();

}  // namespace Testing
}  // namespace VelmorandScript
