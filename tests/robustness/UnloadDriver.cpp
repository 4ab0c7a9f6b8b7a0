// A plug-in that uses the library the way a script host does, for the unload loop: loading it
// loads the library, unloading it (when nothing else holds the library) unloads the library.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

namespace {

using namespace VelmorandScript;

struct Counter {
    long count;
};

/// A script whose handler accepts every notice and whose functions echo their arguments.
class DriverContext : public ScriptContext {
public:
    std::wstring GetScriptName() const override { return L"unload"; }
    std::wstring GetScriptLanguage() const override { return L"Driver"; }
    void CancelScript() override {}
    bool IsCancelRequested() const override { return false; }
    Value GetScriptVariable(const std::wstring& name) override {
        const long handler = 1;
        return name == L"VelmorandScript::EVENT_HANDLER_ROUTINE" ? Value(&handler) : Value();
    }
    void SetScriptVariable(const std::wstring&, const Value&) override {}
    bool InvokeScriptFunction(const Value&, const std::vector<Value>& arguments, bool,
                              std::vector<Value>& results) const override {
        results = arguments;
        return true;
    }
};

Value PassThrough(const Value& source, boost::shared_ptr<IScriptContext>) {
    return source;
}

boost::shared_ptr<IFunction> MakeAddFunction() {
    auto add = boost::make_shared<NativeFunction>(
        L"Add", L"Unload::Counter", L"Unload", false, InstanceStyle,
        [](const Value& self, std::vector<Value>& arguments) {
            CastTo<Counter>(&self, true)->count += GetAs<long>(arguments.at(0));
        });
    add->AddArgument(Argument(DataType(typeid(long)), L"long", L"by", InputArgument, Value(), L""));
    return add;
}

}  // namespace

/// Converts, notifies, calls back and fails once; with `withClasses`, also registers, checks and
/// lists classes and calls a function found through the class registry. Returns the number of
/// registered classes (1 without classes), or -1 when something did not work.
extern "C" __attribute__((visibility("default"))) long VelmorandUnloadExercise(int withClasses) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    conversions.RegisterDataWrapperRoutine(DataType(typeid(long)), &PassThrough);
    conversions.RegisterDataWrapperRoutine(DataType(typeid(std::wstring)), &PassThrough);
    const auto context = boost::make_shared<DriverContext>();
    context->PushScriptCall(nullptr);
    const std::wstring text = L"16777217";
    Value argument(&text);
    conversions.ConvertValue(DataType(typeid(long)), context, argument, true);
    Value lossy = argument;
    conversions.ConvertValue(DataType(typeid(float)), context, lossy, true);  // notifies

    long listed = 1;
    if (withClasses != 0) {
        // Only here: the class registry, once made, is never destroyed.
        ClassRegistry& classes = ClassRegistry::GetInstance();
        classes.AddClass(boost::make_shared<Class>(
            DataType(typeid(IArray)), L"VelmorandScript::Array", nullptr, L"Unload", false));
        auto counter = boost::make_shared<Class>(DataType(typeid(Counter)), L"Unload::Counter",
                                                 nullptr, L"Unload", false);
        counter->AddFunction(MakeAddFunction());
        classes.AddClass(counter);
        classes.CheckClasses();
        listed = classes.GetRegisteredClasses()->Count();
    }
    const auto add = withClasses != 0 ? ClassRegistry::GetInstance()
                                            .FindClassByScriptName(L"Unload::Counter")
                                            ->FindFunction(L"Add", InstanceStyle, nullptr)
                                      : MakeAddFunction();
    Counter counter{1};
    std::vector<Value> arguments{argument};
    add->Invoke(Value(&counter, true), arguments);
    std::vector<Value> results;
    context->CallScriptFunction(Value(), {Value(&counter.count), Value(&text)}, false, results);
    const long created = GetAs<int>(ValueFactory::GetFactory().CreateObject(DataType(typeid(int))));
    bool raised = false;
    try {
        GetAs<long>(Value());
    } catch (const ScriptException& error) {
        raised = error.GetExceptionMessage() == L"Bad cast from empty value to type long.";
    }
    context->PopScriptCall();
    const bool worked = counter.count == 16777218 && results.size() == 2 && created == 0 && raised;
    return worked ? listed : -1;
}
