#pragma once

#include <functional>
#include <string>

namespace VelmorandScript {
namespace Testing {

/// The message of the ScriptException that `action` throws, or "<no exception>" when it returns.
/// Other exceptions pass through.
std::wstring ScriptErrorText(const std::function<void()>& action);

}  // namespace Testing
}  // namespace VelmorandScript
