#pragma once

// The scratch a call works with: its frame and its argument vector, both reused from call to
// call (a frame or an argument vector made anew for every call cost more than the call itself).

#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

/// A descriptor's text, or "" for none.
inline const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

using Hosting::CallFrame;
using Hosting::CallFrameScope;
using Hosting::CallNames;

/// What one call leases from the host: its frame and its argument vector.
struct CallScratch {
    /// A CallFrame, kept as the context's stack keeps it.
    boost::shared_ptr<IScriptCall> frame;
    std::vector<Value> values;
};

}  // namespace Lua
}  // namespace VelmorandScript
