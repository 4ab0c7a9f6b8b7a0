#pragma once

// The library's own static objects. They are all defined in LibraryStatics.cpp, in the order
// they must be created at load (and destroyed, in reverse, at unload).

#include <Common/Path.h>

#include <map>
#include <string>

namespace VelmorandScript {
namespace Detail {

/// "void", the script type of a return value that argument listings leave out.
extern const std::wstring g_voidScriptType;
/// The trace log file, "script.log".
extern const Common::Path g_logPath;
/// Address ids of the trace log.
extern std::map<const void*, unsigned int> g_addressIds;

}  // namespace Detail
}  // namespace VelmorandScript
