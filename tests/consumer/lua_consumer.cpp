// Embeds the installed Lua host: runs a script that lists the registered classes and computes a
// value, then reads the value back.

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <iostream>

int main() {
    using namespace VelmorandScript;
    try {
        StandardConversions::RegisterDataConversions();
        Lua::RegisterHostRoutines();
        ClassRegistry::GetInstance().CheckClasses();
        const auto context = Lua::LuaContext::Create();
        const Lua::RunResult result = context->RunString(
            "assert(#velmorand.classes() > 0, 'no classes listed') answer = 6 * 7", "consumer");
        if (result.status != Lua::RunStatus::Succeeded ||
            GetAs<long>(context->GetScriptVariable(L"answer")) != 42) {
            std::cerr << "lua consumer: the script failed or answered wrong: " << result.message
                      << '\n';
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "lua consumer: unexpected exception: " << error.what() << '\n';
        return 1;
    }
    std::cout << "lua consumer: ok\n";
    return 0;
}
