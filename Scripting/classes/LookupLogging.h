#pragma once

// The logging switch as the class lookups read it: a copy in this library, read in line, where
// the exported IsScripLoggingEnabled costs a call through the procedure linkage table.
// Internal: the class lookups are its users.

#include <VelmorandScript/Errors.h>

namespace VelmorandScript {

/// IsScripLoggingEnabled's answer, which never changes once given.
inline bool IsLookupLoggingEnabled() {
    static const bool enabled = IsScripLoggingEnabled();
    return enabled;
}

}  // namespace VelmorandScript
