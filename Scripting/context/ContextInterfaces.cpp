#include <VelmorandScript/Context.h>

namespace VelmorandScript {

// Out of line so that the interfaces' type information and virtual tables live in the library.
IScriptCall::~IScriptCall() {}

IScriptContext::~IScriptContext() {}

}  // namespace VelmorandScript
