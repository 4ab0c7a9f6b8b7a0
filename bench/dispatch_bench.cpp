// Function lookup through a base chain and the lookup and call of a function, against RTTR's
// method lookup and invoke.

#include "AllocationCounter.h"
#include "BenchSupport.h"

#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>
#include <rttr/registration>

#include <boost/make_shared.hpp>

#include <deque>
#include <string>
#include <vector>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;
using VelmorandBench::FunctionName;
using VelmorandBench::ReportAllocations;
using VelmorandBench::TypeTag;

constexpr int kFunctionsPerClass = 30;

/// The native class whose method Add both sides call.
struct Calculator {
    double Add(double a, double b) const { return a + b; }
};

/// Add(double a, double b) -> double on a Calculator, written as a module writes its bindings.
class AddFunction : public Function {
public:
    explicit AddFunction(const wchar_t* className)
        : Function(L"Add", className, L"Bench", true, InstanceStyle) {
        const DataType number(typeid(double));
        AddArgument(Argument(number, L"double", L"a", InputArgument, Value(), nullptr));
        AddArgument(Argument(number, L"double", L"b", InputArgument, Value(), nullptr));
        AddArgument(Argument(number, L"double", L"result", ReturnArgument, Value(), nullptr));
    }

    void Invoke(const Value& object, std::vector<Value>& arguments) const override {
        const Calculator* calculator = CastTo<Calculator>(&object, true);
        const double sum =
            calculator->Add(GetAs<double>(arguments[0]), GetAs<double>(arguments[1]));
        arguments[2] = Value(&sum);
    }
};

/// The outermost base defines Add and 29 other functions; each class below it 30 more, so Add
/// is two bases up from Bench::Derived.
boost::shared_ptr<Class> DerivedClass() {
    static const boost::shared_ptr<Class> derived = [] {
        ClassRegistry& registry = ClassRegistry::GetInstance();
        auto outer = VelmorandBench::MakeClass(DataType(typeid(Calculator)), L"Bench::Outer",
                                               nullptr, L"Outer", kFunctionsPerClass - 1);
        outer->AddFunction(boost::make_shared<AddFunction>(L"Bench::Outer"));
        registry.AddClass(outer);
        registry.AddClass(VelmorandBench::MakeClass(DataType(typeid(TypeTag<101>)),
                                                    L"Bench::Middle", L"Bench::Outer", L"Middle",
                                                    kFunctionsPerClass));
        auto result = VelmorandBench::MakeClass(DataType(typeid(TypeTag<102>)), L"Bench::Derived",
                                                L"Bench::Middle", L"Derived", kFunctionsPerClass);
        registry.AddClass(result);
        registry.CheckClasses();
        return result;
    }();
    return derived;
}

void BM_FindFunctionTwoBasesUp(benchmark::State& state) {
    const boost::shared_ptr<Class> derived = DerivedClass();
    const std::wstring name = L"Add";
    const boost::shared_ptr<IObject> noObject;
    if (!derived->FindFunction(name, StaticStyle | InstanceStyle, noObject)) {
        state.SkipWithError("Add not found");
        return;
    }
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<IFunction> function =
            derived->FindFunction(name, StaticStyle | InstanceStyle, noObject);
        benchmark::DoNotOptimize(function);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_FindFunctionTwoBasesUp);

/// The part of BM_FindFunctionTwoBasesUp that no lookup can save, since FindFunction returns a
/// shared pointer: the copy of the found function's pointer and its release. Nothing is looked
/// up.
void BM_FindFunctionFloor(benchmark::State& state) {
    const boost::shared_ptr<IFunction> found =
        DerivedClass()->FindFunction(L"Add", StaticStyle | InstanceStyle, nullptr);
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<IFunction> function = found;
        benchmark::DoNotOptimize(function);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_FindFunctionFloor);

/// Find + invoke on both sides: each iteration looks Add up by a prebuilt name in the class that
/// defines it, calls it on a prebuilt native instance with two prebuilt double arguments, stores
/// the result into a slot kept across iterations and reads it back as a double.
void BM_FindAndInvokeAdd(benchmark::State& state) {
    (void)DerivedClass();
    const boost::shared_ptr<Class> calculatorClass =
        ClassRegistry::GetInstance().FindClassByScriptName(L"Bench::Outer");
    const std::wstring name = L"Add";
    const boost::shared_ptr<IObject> noObject;
    const Calculator calculator;
    const Value object(&calculator);
    const double a = 1.5;
    const double b = 2.25;
    std::vector<Value> arguments{Value(&a), Value(&b), Value()};
    double sum = 0.0;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const boost::shared_ptr<IFunction> function =
            calculatorClass->FindFunction(name, StaticStyle | InstanceStyle, noObject);
        function->Invoke(object, arguments);
        sum = GetAs<double>(arguments[2]);
        benchmark::DoNotOptimize(sum);
    }
    ReportAllocations(state, allocations);
    if (sum != 3.75) {
        state.SkipWithError("Add computed a wrong sum");
    }
}
BENCHMARK(BM_FindAndInvokeAdd);

// The same shape for RTTR: Add and 29 other methods on the outermost base, 30 on each class
// below it.
struct RttrOuter {
    double Add(double a, double b) { return a + b; }
    double Other() { return 0.0; }
    RTTR_ENABLE()
};
struct RttrMiddle : RttrOuter {
    RTTR_ENABLE(RttrOuter)
};
struct RttrDerived : RttrMiddle {
    RTTR_ENABLE(RttrMiddle)
};

template <class T>
void RegisterRttrMethods(rttr::registration::class_<T>& registered, const char* prefix, int count) {
    // RTTR keeps the names it is given by reference.
    static std::deque<std::string> names;
    for (int index = 0; index < count; ++index) {
        names.push_back(prefix + std::to_string(1000 + index));
        registered.method(names.back(), &RttrOuter::Other);
    }
}

void RegisterRttrClasses() {
    static const bool registered = [] {
        rttr::registration::class_<RttrOuter> outer("RttrOuter");
        outer.method("Add", &RttrOuter::Add);
        RegisterRttrMethods(outer, "Outer", kFunctionsPerClass - 1);
        rttr::registration::class_<RttrMiddle> middle("RttrMiddle");
        RegisterRttrMethods(middle, "Middle", kFunctionsPerClass);
        rttr::registration::class_<RttrDerived> derived("RttrDerived");
        RegisterRttrMethods(derived, "Derived", kFunctionsPerClass);
        return true;
    }();
    (void)registered;
}

void BM_RttrGetMethod(benchmark::State& state) {
    RegisterRttrClasses();
    const rttr::type type = rttr::type::get<RttrDerived>();
    if (!type.get_method("Add").is_valid()) {
        state.SkipWithError("RTTR does not find Add");
        return;
    }
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        rttr::method method = type.get_method("Add");
        benchmark::DoNotOptimize(method);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_RttrGetMethod);

void BM_RttrFindAndInvokeAdd(benchmark::State& state) {
    RegisterRttrClasses();
    const rttr::type type = rttr::type::get<RttrOuter>();
    const std::string name = "Add";
    RttrOuter calculator;
    const rttr::variant a = 1.5;
    const rttr::variant b = 2.25;
    const std::vector<rttr::argument> arguments{a, b};
    rttr::variant result;
    double sum = 0.0;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const rttr::method add = type.get_method(name);
        result = add.invoke_variadic(calculator, arguments);
        sum = result.convert<double>();
        benchmark::DoNotOptimize(sum);
    }
    ReportAllocations(state, allocations);
    if (sum != 3.75) {
        state.SkipWithError("RTTR computed a wrong sum");
    }
}
BENCHMARK(BM_RttrFindAndInvokeAdd);

}  // namespace

BENCHMARK_MAIN();
