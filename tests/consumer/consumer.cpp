// Uses the installed library the way an application module would: a standard conversion, a
// native function found by name and invoked, and a message from the message table.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <iostream>

int main() {
    using namespace VelmorandScript;
    StandardConversions::RegisterDataConversions();
    const std::wstring text = L"42";
    Value value(&text);
    ConversionRegistry::GetInstance().ConvertValue(DataType(typeid(long)), {}, value, true);

    auto number = boost::make_shared<Class>(DataType(typeid(long)), L"Consumer::Number", nullptr,
                                            L"Consumer", false);
    number->AddFunction(boost::make_shared<NativeFunction>(
        L"Twice", L"Consumer::Number", L"Consumer", true, InstanceStyle,
        [](const Value& self, std::vector<Value>& arguments) {
            const long twice = 2 * GetAs<long>(self);
            arguments.at(0) = Value(&twice);
        }));
    ClassRegistry::GetInstance().AddClass(number);
    std::vector<Value> results(1);
    ClassRegistry::GetInstance()
        .FindClassByScriptName(L"Consumer::Number")
        ->FindFunction(L"Twice", InstanceStyle, boost::shared_ptr<IObject>())
        ->Invoke(value, results);

    std::wstring message;
    try {
        GetAs<long>(Value());
    } catch (const ScriptException& error) {
        message = error.GetExceptionMessage();
    }
    const bool ok =
        GetAs<long>(results[0]) == 84 && message == L"Bad cast from empty value to type long.";
    std::cout << (ok ? "consumer: ok\n" : "consumer: a result is wrong\n");
    return ok ? 0 : 1;
}
