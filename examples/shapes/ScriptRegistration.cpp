// Shapes::Script: static functions through which the sample module uses the running script's
// context (warnings, cancel, script variables, calls by name) and shows how values of each kind
// arrive in native code.

#include "ModuleSupport.h"
#include "Shapes.h"

#include <algorithm>

namespace Shapes {
namespace Module {

namespace {

using namespace VelmorandScript;

const wchar_t* const scriptClassName = L"Shapes::Script";

/// The native type of the class; it has static functions only.
struct ScriptServices {};

template <class T>
Value ArrayOf(std::vector<T> items) {
    boost::shared_ptr<IArray> array = boost::make_shared<Array>(
        boost::make_shared<StdVector<T>>(boost::make_shared<std::vector<T>>(std::move(items))));
    return Value(array);
}

void RegisterContextFunctions(Class& script) {
    // Sends a warning to the script's handler; true when the handler took it.
    AddFunction(script, L"Warn", StaticStyle,
                {In<std::wstring>(L"String", L"text"), ScriptContext(), Returns<bool>(L"bool")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[2] =
                        Make(ContextOf(arguments[1])
                                 .NotifyScript(GetAs<std::wstring>(arguments[0]), WarningEvent));
                });
    AddFunction(script, L"Cancel", StaticStyle, {ScriptContext(), ReturnsNothing()},
                [](const Value&, std::vector<Value>& arguments) {
                    ContextOf(arguments[0]).CancelScript();
                });
    AddFunction(script, L"Name", StaticStyle, {ScriptContext(), Returns<std::wstring>(L"String")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[1] = Make(ContextOf(arguments[0]).GetScriptName() + L" (" +
                                        ContextOf(arguments[0]).GetScriptLanguage() + L")");
                });
    AddFunction(
        script, L"Get", StaticStyle,
        {In<std::wstring>(L"String", L"name"), ScriptContext(), Returns<Value>(L"any")},
        [](const Value&, std::vector<Value>& arguments) {
            arguments[2] =
                ContextOf(arguments[1]).GetScriptVariable(GetAs<std::wstring>(arguments[0]));
        });
    AddFunction(script, L"Set", StaticStyle,
                {In<std::wstring>(L"String", L"name"), In<Value>(L"any", L"value"), ScriptContext(),
                 ReturnsNothing()},
                [](const Value&, std::vector<Value>& arguments) {
                    ContextOf(arguments[2])
                        .SetScriptVariable(GetAs<std::wstring>(arguments[0]),
                                           GetAs<Value>(arguments[1]));
                });
    // Calls a global script function by its name with one argument; its first result.
    AddFunction(script, L"Call", StaticStyle,
                {In<std::wstring>(L"String", L"function"), In<Value>(L"any", L"argument"),
                 ScriptContext(), Returns<Value>(L"any")},
                [](const Value&, std::vector<Value>& arguments) {
                    std::vector<Value> results;
                    if (!ContextOf(arguments[2])
                             .CallScriptFunction(arguments[0], {GetAs<Value>(arguments[1])}, false,
                                                 results)) {
                        throw ScriptException(L"No script function named " +
                                              GetAs<std::wstring>(arguments[0]) + L".");
                    }
                    arguments[3] = results.empty() ? Value() : results[0];
                });
    AddFunction(script, L"Fail", StaticStyle,
                {In<std::wstring>(L"String", L"message"), ReturnsNothing()},
                [](const Value&, std::vector<Value>& arguments) {
                    throw ScriptException(GetAs<std::wstring>(arguments[0]));
                });
}

void RegisterValueFunctions(Class& script) {
    AddFunction(script, L"Echo", StaticStyle, {In<Value>(L"any", L"value"), Returns<Value>(L"any")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[1] = GetAs<Value>(arguments[0]);
                });
    AddFunction(script, L"TypeOf", StaticStyle,
                {In<Value>(L"any", L"value"), Returns<std::wstring>(L"String")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[1] = Make(GetAs<Value>(arguments[0]).GetTypeName());
                });
    AddFunction(script, L"Int", StaticStyle, {In<int>(L"int", L"number"), Returns<int>(L"int")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[1] = Make(GetAs<int>(arguments[0]));
                });
    AddFunction(
        script, L"Byte", StaticStyle,
        {In<unsigned char>(L"unsigned char", L"number"), Returns<unsigned char>(L"unsigned char")},
        [](const Value&, std::vector<Value>& arguments) {
            arguments[1] = Make(GetAs<unsigned char>(arguments[0]));
        });
    AddFunction(script, L"Sum", StaticStyle,
                {In<IArray>(L"VelmorandScript::Array", L"numbers"), Returns<double>(L"double")},
                [](const Value&, std::vector<Value>& arguments) {
                    const IArray& numbers = *CastTo<IArray>(&arguments[0], true);
                    double sum = 0;
                    for (long i = 0; i < numbers.Count(); ++i) {
                        sum += GetAs<double>(numbers.Item(i));
                    }
                    arguments[1] = Make(sum);
                });
    AddFunction(script, L"Range", StaticStyle,
                {In<long>(L"long", L"count"), Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value&, std::vector<Value>& arguments) {
                    std::vector<long> numbers;
                    for (long i = 1; i <= GetAs<long>(arguments[0]); ++i) {
                        numbers.push_back(i);
                    }
                    arguments[1] = ArrayOf(std::move(numbers));
                });
    // The string keys of a table, sorted.
    AddFunction(script, L"Keys", StaticStyle,
                {In<IHash>(L"table", L"table"), Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value&, std::vector<Value>& arguments) {
                    const IHash& table = *CastTo<IHash>(&arguments[0], true);
                    // Count() keys: an empty key reads like the end of the walk.
                    std::vector<std::wstring> keys;
                    std::wstring key = table.FirstKey();
                    for (long i = table.Count(); i > 0; --i, key = table.NextKey(key)) {
                        keys.push_back(key);
                    }
                    std::sort(keys.begin(), keys.end());
                    arguments[1] = ArrayOf(std::move(keys));
                });
    // Appends to a Lua sequence in place: native writes show in the script's table.
    AddFunction(script, L"Append", StaticStyle,
                {In<IArray>(L"VelmorandScript::Array", L"list"), In<Value>(L"any", L"item"),
                 ReturnsNothing()},
                [](const Value&, std::vector<Value>& arguments) {
                    CastTo<IArray>(&arguments[0], true)->Add(GetAs<Value>(arguments[1]), false);
                });
}

}  // namespace

void RegisterScriptClass() {
    auto script = boost::make_shared<Class>(DataType(typeid(ScriptServices)), scriptClassName,
                                            nullptr, moduleName, false);
    RegisterContextFunctions(*script);
    RegisterValueFunctions(*script);
    ClassRegistry::GetInstance().AddClass(script);
}

}  // namespace Module
}  // namespace Shapes
