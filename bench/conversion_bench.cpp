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

/// Converts copies of the prebuilt `source` to Result with an empty context and reads the result
/// as a Result, as RTTR's convert<T>() hands it back. The copy (a reference-count increment) is
/// part of our side: ConvertValue works in place.
template <class Result>
void MeasureConvertValue(benchmark::State& state, const Value& source, Result expected) {
    VelmorandBench::RegisterStandardConversions();
    if (IsScripLoggingEnabled()) {
        state.SkipWithError("unset ENABLE_SCRIPT_LOGGING: the pair is measured with logging off");
        return;
    }
    const ConversionRegistry& registry = ConversionRegistry::GetInstance();
    const DataType target(typeid(Result));
    Result converted{};
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        registry.ConvertValue(target, boost::shared_ptr<IScriptContext>(), value, true);
        converted = GetAs<Result>(value);
        benchmark::DoNotOptimize(converted);
    }
    ReportAllocations(state, allocations);
    if (converted != expected) {
        state.SkipWithError("ConvertValue gave a wrong result");
    }
}

/// RTTR's side of the same: convert<Result>() of a prebuilt variant, the result read the same way.
template <class Result>
void MeasureRttrConvert(benchmark::State& state, const rttr::variant& source, Result expected) {
    Result converted{};
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        converted = source.convert<Result>();
        benchmark::DoNotOptimize(converted);
    }
    ReportAllocations(state, allocations);
    if (converted != expected) {
        state.SkipWithError("RTTR gave a wrong result");
    }
}

void BM_ConvertValueLongToDouble(benchmark::State& state) {
    const long number = 42;
    MeasureConvertValue(state, Value(&number), 42.0);
}
BENCHMARK(BM_ConvertValueLongToDouble);

void BM_RttrConvertLongToDouble(benchmark::State& state) {
    MeasureRttrConvert(state, rttr::variant(42L), 42.0);
}
BENCHMARK(BM_RttrConvertLongToDouble);

void BM_ConvertValueStringToLong(benchmark::State& state) {
    const std::wstring text = L"42";
    MeasureConvertValue(state, Value(&text), 42L);
}
BENCHMARK(BM_ConvertValueStringToLong);

void BM_RttrConvertStringToInt(benchmark::State& state) {
    MeasureRttrConvert(state, rttr::variant(std::string("42")), 42);
}
BENCHMARK(BM_RttrConvertStringToInt);

/// The part of MeasureConvertValue that no lookup or routine can save, since a Value shares its
/// holder with its copies and ConvertValue works in place: the copy of the prebuilt source, a
/// new holder of the result assigned over it (the copy's share of the source holder released),
/// the read and the drop. Nothing is looked up and nothing converted.
template <class Result>
void MeasureConversionFloor(benchmark::State& state, const Value& source, Result expected) {
    Result converted{};
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        benchmark::DoNotOptimize(expected);
        value = Value(&expected);
        converted = GetAs<Result>(value);
        benchmark::DoNotOptimize(converted);
    }
    ReportAllocations(state, allocations);
}

void BM_ConversionFloorLongToDouble(benchmark::State& state) {
    const long number = 42;
    MeasureConversionFloor(state, Value(&number), 42.0);
}
BENCHMARK(BM_ConversionFloorLongToDouble);

void BM_ConversionFloorStringToLong(benchmark::State& state) {
    const std::wstring text = L"42";
    MeasureConversionFloor(state, Value(&text), 42L);
}
BENCHMARK(BM_ConversionFloorStringToLong);

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
