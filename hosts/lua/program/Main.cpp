// velmorand-lua: runs a Lua script against the classes of the sample module and of any further
// application modules. Modules stay loaded until the program ends (Hosting::LoadModule says why).

#include "Annotations.h"
#include "ModuleLoader.h"

#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

using VelmorandScript::Lua::LuaContext;
using VelmorandScript::Lua::RunResult;
using VelmorandScript::Lua::RunStatus;

const char* const programName = "velmorand-lua";

const char* const usage =
    "usage: velmorand-lua [OPTION]... [SCRIPT [ARGS]...]\n"
    "\n"
    "Runs the Lua 5.4 script SCRIPT (standard input when SCRIPT is missing or '-') against\n"
    "the script classes of application modules. ARGS reach the script as '...' and in the\n"
    "global table 'arg' (arg[0] is SCRIPT, options have negative indexes), as with 'lua'.\n"
    "\n"
    "Before the script runs, the program registers the standard conversions and the host's\n"
    "wrappers, loads the sample module libVelmorandShapes.so (found next to the program, in\n"
    "the installed library folder, or where it was built), loads every --module, and checks\n"
    "all classes.\n"
    "\n"
    "Options:\n"
    "  --module LIB          also load the application module LIB, a shared library that\n"
    "                        exports extern \"C\" void VelmorandRegisterModule(); repeatable\n"
    "                        (a module registers once, and stays loaded until the end)\n"
    "  --no-default-module   do not load the sample module\n"
    "  --annotations         instead of running a script, write to standard output the\n"
    "                        annotations of the visible classes for the Lua language server\n"
    "                        (LuaLS): their tables, properties, methods and functions\n"
    "  --help                show this text and exit\n"
    "  --                    end of options\n"
    "\n"
    "In the script, a class Shapes::Circle is the table Shapes.Circle: Shapes.Circle.new(...)\n"
    "constructs, Shapes.Circle.F(...) calls a static function, obj:F(...) an instance function,\n"
    "obj.P reads and obj.P = v writes a property. velmorand.classes() lists the classes and\n"
    "velmorand.on_event(f) sets the handler of warnings, f(kind, text); returning the integer\n"
    "0 from it aborts the script. Until a script sets its own, warnings go to standard error.\n"
    "\n"
    "Exit status: 0 when the script ran to its end, 1 on an uncaught error (or a module or\n"
    "class that fails to load), 2 when the script was aborted or canceled (Ctrl-C cancels).\n";

// Warnings reach standard error until the script installs a handler of its own.
const char* const defaultEventHandler =
    "velmorand.on_event(function(kind, text) io.stderr:write('warning: ', text, '\\n') end)";

LuaContext* runningContext = nullptr;

void CancelOnInterrupt(int signalNumber) {
    std::signal(signalNumber, SIG_DFL);  // a second Ctrl-C ends the program at once
    if (runningContext != nullptr) {
        runningContext->CancelScript();
    }
}

struct Options {
    std::vector<std::string> modules;
    bool loadDefaultModule = true;
    bool showHelp = false;
    bool writeAnnotations = false;
    /// Index of the script in argv; argc when the script comes from standard input unnamed.
    int scriptIndex = 0;
    std::string error;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    int index = 1;
    while (index < argc) {
        const std::string option = argv[index];
        if (option == "--help" || option == "-h") {
            options.showHelp = true;
            return options;
        }
        if (option == "--module") {
            if (index + 1 >= argc) {
                options.error = "--module needs the path of a shared library";
                return options;
            }
            options.modules.push_back(argv[index + 1]);
            index += 2;
        } else if (option.rfind("--module=", 0) == 0) {
            options.modules.push_back(option.substr(std::strlen("--module=")));
            ++index;
        } else if (option == "--no-default-module") {
            options.loadDefaultModule = false;
            ++index;
        } else if (option == "--annotations") {
            options.writeAnnotations = true;
            ++index;
        } else if (option == "--") {
            ++index;
            break;
        } else if (option.size() > 1 && option[0] == '-') {
            options.error = "unknown option '" + option + "' (see --help)";
            return options;
        } else {
            break;
        }
    }
    options.scriptIndex = index;
    if (options.writeAnnotations && index < argc) {
        options.error = "--annotations runs no script";
    }
    return options;
}

bool LoadModules(const Options& options) {
    std::vector<std::string> modules;
    if (options.loadDefaultModule) {
        const std::string sample = VelmorandScript::Lua::FindDefaultModule();
        if (sample.empty()) {
            std::cerr << programName
                      << ": the sample module libVelmorandShapes.so was not found; build it, "
                         "or pass --no-default-module\n";
            return false;
        }
        modules.push_back(sample);
    }
    modules.insert(modules.end(), options.modules.begin(), options.modules.end());
    for (const std::string& module : modules) {
        try {
            VelmorandScript::Hosting::LoadModule(module);
        } catch (const VelmorandScript::ScriptException& error) {
            std::cerr << programName << ": " << Common::ToUtf8(error.GetExceptionMessage()) << '\n';
            return false;
        }
    }
    return true;
}

int Run(int argc, char** argv, const Options& options) {
    VelmorandScript::StandardConversions::RegisterDataConversions();
    VelmorandScript::Lua::RegisterHostRoutines();
    if (!LoadModules(options)) {
        return 1;
    }
    try {
        VelmorandScript::ClassRegistry::GetInstance().CheckClasses();
    } catch (const std::exception& error) {
        std::cerr << programName << ": " << error.what() << '\n';
        return 1;
    }

    // The context registers the host's classes, which scripts see too.
    const boost::shared_ptr<LuaContext> context = LuaContext::Create();
    if (options.writeAnnotations) {
        VelmorandScript::Lua::WriteAnnotations(std::cout);
        std::cout.flush();
        if (!std::cout) {
            std::cerr << programName << ": the annotations could not be written\n";
            return 1;
        }
        return 0;
    }
    const std::vector<std::string> commandLine(argv, argv + argc);
    const bool hasScript = options.scriptIndex < argc;
    context->SetArgumentTable(commandLine, hasScript ? options.scriptIndex : 0);
    context->RunString(defaultEventHandler, "velmorand-lua");

    std::string script;
    std::vector<std::string> arguments;
    if (hasScript) {
        script = commandLine[options.scriptIndex] == "-" ? "" : commandLine[options.scriptIndex];
        arguments.assign(commandLine.begin() + options.scriptIndex + 1, commandLine.end());
    }
    runningContext = context.get();
    std::signal(SIGINT, &CancelOnInterrupt);
    const RunResult result = context->RunFile(script, arguments);
    std::signal(SIGINT, SIG_DFL);
    runningContext = nullptr;

    switch (result.status) {
        case RunStatus::Succeeded:
            return 0;
        case RunStatus::Failed:
            std::cerr << programName << ": " << result.message << '\n';
            return 1;
        case RunStatus::Terminated:
            std::cerr << programName << ": " << result.message << '\n';
            return 2;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (options.showHelp) {
        std::cout << usage;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << programName << ": " << options.error << '\n';
        return 1;
    }
    try {
        return Run(argc, argv, options);
    } catch (const std::exception& error) {
        std::cerr << programName << ": " << error.what() << '\n';
        return 1;
    }
}
