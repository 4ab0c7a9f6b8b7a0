// How lookups grow with the size of their tables: each benchmark runs with a small and a large
// table, and bench/ratio_table.py compares the two.

#include "AllocationCounter.h"
#include "BenchSupport.h"

#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>

#include <array>
#include <cstddef>
#include <memory>
#include <typeinfo>
#include <utility>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;
using VelmorandBench::ReportAllocations;
using VelmorandBench::TypeTag;

constexpr int kStandardConversionCount = 74;

void BM_FindFunctionScaling(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const boost::shared_ptr<Class> scriptClass = VelmorandBench::MakeClass(
        DataType(typeid(TypeTag<200>)), L"Bench::Scaling", nullptr, L"Method", count);
    const std::wstring name = VelmorandBench::FunctionName(L"Method", count / 2);
    const boost::shared_ptr<IObject> noObject;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<IFunction> function =
            scriptClass->FindFunction(name, StaticStyle | InstanceStyle, noObject);
        benchmark::DoNotOptimize(function);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_FindFunctionScaling)->Arg(10)->Arg(1000);

template <std::size_t... N>
std::array<const std::type_info*, sizeof...(N)> TagTypes(std::index_sequence<N...>) {
    return {&typeid(TypeTag<static_cast<int>(N)>)...};
}

Value Unchanged(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    return source;
}

/// A copy of the registry with the standard conversions, grown to `total` conversions with
/// conversions among types of no interest to the measured one.
std::unique_ptr<ConversionRegistry> RegistryWithConversions(int total) {
    VelmorandBench::RegisterStandardConversions();
    auto registry = std::make_unique<ConversionRegistry>(ConversionRegistry::GetInstance());
    // 71 types give 71 * 70 ordered pairs, enough for 5,000 conversions.
    static const auto types = TagTypes(std::make_index_sequence<71>());
    for (std::size_t from = 0; from < types.size(); ++from) {
        for (std::size_t to = 0; to < types.size(); ++to) {
            if (static_cast<int>(registry->GetConversionCount()) >= total) {
                return registry;
            }
            if (from != to) {
                registry->RegisterDataConversion(DataType(*types[from]), DataType(*types[to]),
                                                 &Unchanged);
            }
        }
    }
    return registry;
}

void BM_ConvertValueScaling(benchmark::State& state) {
    const int total = static_cast<int>(state.range(0));
    const std::unique_ptr<ConversionRegistry> registry = RegistryWithConversions(total);
    if (static_cast<int>(registry->GetConversionCount()) != total) {
        state.SkipWithError("the registry does not hold the wanted number of conversions");
        return;
    }
    const long number = 42;
    const Value source(&number);
    const DataType target(typeid(double));
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        Value value(source);
        registry->ConvertValue(target, boost::shared_ptr<IScriptContext>(), value, true);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_ConvertValueScaling)->Arg(kStandardConversionCount)->Arg(5000);

void BM_FindClassByScriptNameScaling(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    // A copy of the process-wide registry, so that both sizes are measured in one process.
    ClassRegistry registry(ClassRegistry::GetInstance());
    std::wstring wanted;
    for (int index = 0; index < count; ++index) {
        const wchar_t* scriptName =
            VelmorandBench::KeepText(VelmorandBench::FunctionName(L"Module::Class", index));
        registry.AddClass(boost::make_shared<Class>(DataType(typeid(TypeTag<300>)), scriptName,
                                                    nullptr, L"Bench", false));
        if (index == count / 2) {
            wanted = scriptName;
        }
    }
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<Class> found = registry.FindClassByScriptName(wanted);
        benchmark::DoNotOptimize(found);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_FindClassByScriptNameScaling)->Arg(10)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
