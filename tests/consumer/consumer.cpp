// Uses the installed library the way an application module and a script host would: standard
// conversions, a class with a native function found by name and invoked, and an error message.
// Prints "consumer: ok" and exits with 0 when everything behaves.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Point {
    double x;
    double y;
};

int failures = 0;

void Expect(bool condition, const char* what) {
    if (!condition) {
        std::cerr << "consumer: failed: " << what << '\n';
        ++failures;
    }
}

void ConvertsTextToNumbers() {
    using namespace VelmorandScript;
    const std::wstring text = L"42";
    Value value(&text);
    const bool converted = ConversionRegistry::GetInstance().ConvertValue(
        DataType(typeid(long)), boost::shared_ptr<IScriptContext>(), value, true);
    Expect(converted && GetAs<long>(value) == 42, "String \"42\" converts to long 42");
    Expect(DataType(typeid(std::wstring)).GetName() == L"String", "std::wstring reads String");
}

void InvokesAFunctionFoundByName() {
    using namespace VelmorandScript;
    auto point = boost::make_shared<Class>(DataType(typeid(Point)), L"Consumer::Point", nullptr,
                                           L"Consumer", false);
    point->AddFunction(boost::make_shared<NativeFunction>(
        L"Length", L"Consumer::Point", L"Consumer", true, InstanceStyle,
        [](const Value& self, std::vector<Value>& arguments) {
            const Point* p = CastTo<Point>(&self, true);
            const double length = std::hypot(p->x, p->y);
            arguments.at(0) = Value(&length);
        }));
    ClassRegistry::GetInstance().AddClass(point);

    auto found = ClassRegistry::GetInstance().FindClassByScriptName(L"Consumer::Point");
    Expect(found == point, "the class is found by its script name");
    if (!found) {
        return;
    }
    auto length =
        found->FindFunction(L"Length", InstanceStyle | StaticStyle, boost::shared_ptr<IObject>());
    Expect(length != nullptr, "the function is found by name and style");
    if (!length) {
        return;
    }
    const Point p{3.0, 4.0};
    std::vector<Value> arguments(1);
    length->Invoke(Value(&p, true), arguments);
    Expect(GetAs<double>(arguments[0]) == 5.0, "Length of (3, 4) is 5");
}

void ReportsErrorsFromTheMessageTable() {
    using namespace VelmorandScript;
    try {
        GetAs<long>(Value());
        Expect(false, "reading an empty value throws");
    } catch (const ScriptException& error) {
        Expect(error.GetExceptionMessage() == L"Bad cast from empty value to type long.",
               "the empty-value message comes from the message table");
    }
}

}  // namespace

int main() {
    VelmorandScript::StandardConversions::RegisterDataConversions();
    try {
        ConvertsTextToNumbers();
        InvokesAFunctionFoundByName();
        ReportsErrorsFromTheMessageTable();
    } catch (const std::exception& error) {
        std::cerr << "consumer: unexpected exception: " << error.what() << '\n';
        return 1;
    }
    if (failures != 0) {
        return 1;
    }
    std::cout << "consumer: ok\n";
    return 0;
}
