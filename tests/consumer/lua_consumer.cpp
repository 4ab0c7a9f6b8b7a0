// Embeds the installed Lua host: runs a script that lists the registered classes and computes a
// value, then reads the value back. An exception ends the program with a failure.

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <iostream>

int main() {
    using namespace VelmorandScript;
    StandardConversions::RegisterDataConversions();
    Lua::RegisterHostRoutines();
    ClassRegistry::GetInstance().CheckClasses();
    const auto context = Lua::LuaContext::Create();
    const Lua::RunResult result = context->RunString(
        "assert(#velmorand.classes() > 0, 'no classes listed') answer = 6 * 7", "consumer");
    const bool ok = result.status == Lua::RunStatus::Succeeded &&
                    GetAs<long>(context->GetScriptVariable(L"answer")) == 42;
    std::cout << "lua consumer: " << (ok ? "ok" : "failed: " + result.message) << '\n';
    return ok ? 0 : 1;
}
