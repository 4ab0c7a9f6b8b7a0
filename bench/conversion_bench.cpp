// ConvertValue with the standard conversions against RTTR's variant converter, and the cost of a
// DataType comparison.

#include "AllocationCounter.h"
#include "BenchSupport.h"

#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>
#include <rttr/variant.h>

#include <string>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;
using VelmorandBench::ReportAllocations;

/// Converts copies of `source` to `target` with an empty context. Each iteration starts from a
/// copy of a prebuilt value (a reference-count increment), since ConvertValue works in place.
void MeasureConvertValue(benchmark::State& state, const Value& source, const DataType& target) {
    VelmorandBench::RegisterStandardConversions();
    if (IsScripLoggingEnabled()) {
        state.SkipWithError("unset ENABLE_SCRIPT_LOGGING: the pair is measured with logging off");
        return;
    }
    const ConversionRegistry& registry = ConversionRegistry::GetInstance();
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        registry.ConvertValue(target, boost::shared_ptr<IScriptContext>(), value, true);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}

void BM_ConvertValueLongToDouble(benchmark::State& state) {
    const long number = 42;
    MeasureConvertValue(state, Value(&number), DataType(typeid(double)));
}
BENCHMARK(BM_ConvertValueLongToDouble);

void BM_RttrConvertIntToDouble(benchmark::State& state) {
    int number = 42;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(number);
        const double converted = rttr::variant(number).convert<double>();
        benchmark::DoNotOptimize(converted);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_RttrConvertIntToDouble);

void BM_ConvertValueStringToLong(benchmark::State& state) {
    const std::wstring text = L"42";
    MeasureConvertValue(state, Value(&text), DataType(typeid(long)));
}
BENCHMARK(BM_ConvertValueStringToLong);

void BM_RttrConvertStringToInt(benchmark::State& state) {
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const int converted = rttr::variant(std::string("42")).convert<int>();
        benchmark::DoNotOptimize(converted);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_RttrConvertStringToInt);

/// Two types whose run-time names differ only near their end: the slow case of the comparison.
void BM_DataTypeCompareDistinct(benchmark::State& state) {
    const DataType first(typeid(VelmorandBench::TypeTag<1>));
    const DataType second(typeid(VelmorandBench::TypeTag<2>));
    const DataType* left = &first;
    const DataType* right = &second;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        // Hidden from the optimiser, so that the comparison is not hoisted out of the loop.
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
        benchmark::DoNotOptimize(left->Compare(*right));
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_DataTypeCompareDistinct);

}  // namespace

BENCHMARK_MAIN();
