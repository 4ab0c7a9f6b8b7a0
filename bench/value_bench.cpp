// Values against the shared pointers they are built on: copying, making, and wrapping a class
// instance for a script.

#include "AllocationCounter.h"
#include "BenchSupport.h"

#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;
using VelmorandBench::ReportAllocations;

void BM_CopyValueOfLong(benchmark::State& state) {
    const long number = 42;
    const Value source(&number);
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value copy(source);
        benchmark::DoNotOptimize(copy);
    }
    ReportAllocations(state, allocations);
    state.counters["sizeof_Value"] = static_cast<double>(sizeof(Value));
}
BENCHMARK(BM_CopyValueOfLong);

void BM_CopySharedPtrOfLong(benchmark::State& state) {
    const boost::shared_ptr<long> source = boost::make_shared<long>(42);
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<long> copy(source);
        benchmark::DoNotOptimize(copy);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_CopySharedPtrOfLong);

void BM_MakeValueFromLong(benchmark::State& state) {
    long number = 42;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(number);
        Value value(&number);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_MakeValueFromLong);

void BM_MakeSharedLong(benchmark::State& state) {
    long number = 42;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(number);
        boost::shared_ptr<long> pointer = boost::make_shared<long>(number);
        benchmark::DoNotOptimize(pointer);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_MakeSharedLong);

/// A native class instance as a module would hand it to a script.
struct Point {
    double x;
    double y;
};

/// The generic class-instance wrapper as script hosts register it.
Value WrapClassInstance(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const boost::shared_ptr<Class> scriptClass =
        ClassRegistry::GetInstance().FindClassByCppType(source);
    return Value(scriptClass->CreateWrapper(source));
}

void BM_WrapClassInstance(benchmark::State& state) {
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    static const bool registered = [&registry] {
        ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
            DataType(typeid(Point)), L"Bench::Point", nullptr, L"Bench", false));
        registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                         &WrapClassInstance);
        return true;
    }();
    (void)registered;
    const Point point{1.0, 2.0};
    const Value source(&point);
    // The first wrapping registers the generic wrapper for Point; the loop measures the cached
    // case.
    Value first(source);
    registry.WrapValue(boost::shared_ptr<IScriptContext>(), first);

    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        registry.WrapValue(boost::shared_ptr<IScriptContext>(), value);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_WrapClassInstance);

/// The part of BM_WrapClassInstance that no lookup can save: the copy of the prebuilt source
/// (WrapValue works in place), the Object that Class::CreateWrapper makes for it, and the Value
/// that holds the wrapper, assigned over the copy and dropped. The class is prebuilt; no wrapper
/// routine and no class is looked up.
void BM_WrapFloor(benchmark::State& state) {
    const auto pointClass = boost::make_shared<Class>(DataType(typeid(Point)), L"Bench::FloorPoint",
                                                      nullptr, L"Bench", false);
    const Point point{1.0, 2.0};
    const Value source(&point);
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        value = Value(pointClass->CreateWrapper(value));
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_WrapFloor);

/// As large as the wrapper that WrapValue builds.
struct WrapperSizedObject {
    unsigned char bytes[sizeof(Object)];
};

void BM_MakeSharedWrapperSizedObject(benchmark::State& state) {
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<WrapperSizedObject> object = boost::make_shared<WrapperSizedObject>();
        benchmark::DoNotOptimize(object);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_MakeSharedWrapperSizedObject);

}  // namespace

BENCHMARK_MAIN();
