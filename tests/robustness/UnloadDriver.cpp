// A plug-in that uses the library the way a script host does, for the unload loop: loading it
// loads the library, unloading it (when nothing else holds the library) unloads the library.

#include "support/TestHost.h"

namespace {

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

struct Counter {
    long count;
};

}  // namespace

/// Converts, notifies and calls back; with `withClasses`, also registers, checks and
/// lists classes and calls a function found through the class registry. Returns the number of
/// registered classes (1 without classes), or -1 when something did not work.
extern "C" __attribute__((visibility("default"))) long VelmorandUnloadExercise(int withClasses) {
    StandardConversions::RegisterDataConversions();
    WrapUnchanged<long, std::wstring>();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    // A script whose handler accepts every notice and whose functions echo their arguments.
    const auto context = TestScriptContext::Create();
    const ScriptFunction echo = [](const std::vector<Value>& arguments,
                                   std::vector<Value>& results) {
        results = arguments;
        return true;
    };
    context->SetEventHandler(echo);
    context->PushScriptCall(nullptr);
    const std::wstring text = L"16777217";
    Value argument(&text);
    conversions.ConvertValue(TypeOf<long>(), context, argument, true);
    Value lossy = argument;
    conversions.ConvertValue(TypeOf<float>(), context, lossy, true);  // notifies

    boost::shared_ptr<IFunction> add = boost::make_shared<NativeFunction>(
        L"Add", L"Unload::Counter", L"Unload", false, InstanceStyle,
        [](const Value& self, std::vector<Value>& arguments) {
            CastTo<Counter>(&self, true)->count += GetAs<long>(arguments.at(0));
        });
    add->AddArgument(Argument(TypeOf<long>(), L"long", L"by", InputArgument, Value(), L""));
    long listed = 1;
    if (withClasses != 0) {
        // Only here: the class registry, once made, is never destroyed.
        ClassRegistry& classes = ClassRegistry::GetInstance();
        RegisterArrayClass();
        auto counter = boost::make_shared<Class>(TypeOf<Counter>(), L"Unload::Counter", nullptr,
                                                 L"Unload", false);
        counter->AddFunction(add);
        classes.AddClass(counter);
        classes.CheckClasses();
        listed = classes.GetRegisteredClasses()->Count();
        add = classes.FindClassByScriptName(L"Unload::Counter")
                  ->FindFunction(L"Add", InstanceStyle, nullptr);
    }
    Counter counter{1};
    std::vector<Value> arguments{argument};
    add->Invoke(Value(&counter, true), arguments);
    std::vector<Value> results;
    context->CallScriptFunction(Make(echo), {Value(&counter.count), Value(&text)}, false, results);
    const long created = GetAs<int>(ValueFactory::GetFactory().CreateObject(TypeOf<int>()));
    context->PopScriptCall();
    const bool worked = counter.count == 16777218 && results.size() == 2 && created == 0;
    return worked ? listed : -1;
}
