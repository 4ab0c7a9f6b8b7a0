// How lookups grow with the size of their tables and the depth of a base chain: each benchmark
// runs with a small and a large case, and bench/ratio_table.py compares the two.

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
#include <vector>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;
using VelmorandBench::ReportAllocations;
using VelmorandBench::TypeTag;

constexpr int kStandardConversionCount = 74;
// More pairs than the recent-conversion cache has slots, so that the table itself is measured.
constexpr int kRotatingPairCount = 256;
constexpr int kChainDepth = 16;
constexpr int kFunctionsPerChainClass = 30;

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

/// The type_info of TypeTag<First>, TypeTag<First + 1>, ...
template <int First, std::size_t... N>
std::array<const std::type_info*, sizeof...(N)> TagTypes(std::index_sequence<N...>) {
    return {&typeid(TypeTag<First + static_cast<int>(N)>)...};
}

/// A value of TypeTag<First>, TypeTag<First + 1>, ...
template <int First, std::size_t... N>
std::array<Value, sizeof...(N)> TagValues(std::index_sequence<N...>) {
    static const std::tuple<TypeTag<First + static_cast<int>(N)>...> tags;
    return {Value(&std::get<N>(tags))...};
}

Value Unchanged(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    return source;
}

// 17 types give 272 ordered pairs, the first 256 of which are converted in turn.
constexpr std::size_t kRotatingTypeCount = 17;
// 71 other types give 71 * 70 ordered pairs, enough to fill the table to 5,000 conversions.
constexpr std::size_t kFillerTypeCount = 71;

/// One conversion of the rotation: a prebuilt source value and the type to convert it to.
struct ConversionCase {
    Value source;
    DataType target;
};

/// The 256 conversions converted in turn, among 17 types.
const std::vector<ConversionCase>& RotatingCases() {
    static const std::vector<ConversionCase> cases = [] {
        const auto types = TagTypes<0>(std::make_index_sequence<kRotatingTypeCount>());
        const auto values = TagValues<0>(std::make_index_sequence<kRotatingTypeCount>());
        std::vector<ConversionCase> result;
        for (std::size_t from = 0; from < types.size(); ++from) {
            for (std::size_t to = 0; to < types.size(); ++to) {
                if (from != to && result.size() < kRotatingPairCount) {
                    result.push_back({values[from], DataType(*types[to])});
                }
            }
        }
        return result;
    }();
    return cases;
}

/// A copy of the registry with the standard conversions and the rotating ones, grown to `total`
/// conversions with conversions among types no case converts.
std::unique_ptr<ConversionRegistry> RegistryWithConversions(int total) {
    VelmorandBench::RegisterStandardConversions();
    auto registry = std::make_unique<ConversionRegistry>(ConversionRegistry::GetInstance());
    for (const ConversionCase& conversion : RotatingCases()) {
        registry->RegisterDataConversion(conversion.source.GetType(), conversion.target,
                                         &Unchanged);
    }
    static const auto fillers =
        TagTypes<kRotatingTypeCount>(std::make_index_sequence<kFillerTypeCount>());
    for (std::size_t from = 0; from < fillers.size(); ++from) {
        for (std::size_t to = 0; to < fillers.size(); ++to) {
            if (static_cast<int>(registry->GetConversionCount()) >= total) {
                return registry;
            }
            if (from != to) {
                registry->RegisterDataConversion(DataType(*fillers[from]), DataType(*fillers[to]),
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
    const std::vector<ConversionCase>& cases = RotatingCases();
    std::size_t next = 0;
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const ConversionCase& conversion = cases[next];
        next = (next + 1) % kRotatingPairCount;
        Value value(conversion.source);
        registry->ConvertValue(conversion.target, boost::shared_ptr<IScriptContext>(), value, true);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_ConvertValueScaling)->Arg(kStandardConversionCount + kRotatingPairCount)->Arg(5000);

void BM_FindClassByScriptNameScaling(benchmark::State& state) {
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    // A copy of the process-wide registry, so that both sizes are measured in one process; it
    // may already hold the chain below, so it is filled up to `count` classes.
    ClassRegistry registry(ClassRegistry::GetInstance());
    std::wstring wanted;
    for (int index = 0; registry.GetClasses().size() < count; ++index) {
        const wchar_t* scriptName =
            VelmorandBench::KeepText(VelmorandBench::FunctionName(L"Module::Class", index));
        registry.AddClass(boost::make_shared<Class>(DataType(typeid(TypeTag<300>)), scriptName,
                                                    nullptr, L"Bench", false));
        if (registry.GetClasses().size() == count / 2) {
            wanted = scriptName;
        }
    }
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<Class> found = registry.FindClassByScriptName(wanted);
        benchmark::DoNotOptimize(found);
    }
    ReportAllocations(state, allocations);
    if (!registry.FindClassByScriptName(wanted)) {
        state.SkipWithError("the wanted class is missing");
    }
}
BENCHMARK(BM_FindClassByScriptNameScaling)->Arg(100)->Arg(10000);

/// A registered chain of 16 classes of 30 functions each, outermost first: each class's base is
/// the one before it.
const std::vector<boost::shared_ptr<Class>>& Chain() {
    static const std::vector<boost::shared_ptr<Class>> chain = [] {
        const auto types = TagTypes<400>(std::make_index_sequence<kChainDepth>());
        ClassRegistry& registry = ClassRegistry::GetInstance();
        std::vector<boost::shared_ptr<Class>> classes;
        const wchar_t* baseName = nullptr;
        for (int level = 0; level < kChainDepth; ++level) {
            const wchar_t* scriptName =
                VelmorandBench::KeepText(VelmorandBench::FunctionName(L"Bench::Chain", level));
            classes.push_back(VelmorandBench::MakeClass(
                DataType(*types[static_cast<std::size_t>(level)]), scriptName, baseName,
                VelmorandBench::FunctionName(L"Level", level) + L"_", kFunctionsPerChainClass));
            registry.AddClass(classes.back());
            baseName = scriptName;
        }
        registry.CheckClasses();
        return classes;
    }();
    return chain;
}

/// A name that no class of the chain has, looked up from the class `depth` classes from the
/// outermost: hosts probe for missing names all the time (a property before a method).
void BM_FindMissingFunction(benchmark::State& state) {
    const boost::shared_ptr<Class>& start = Chain()[static_cast<std::size_t>(state.range(0) - 1)];
    const std::wstring name = L"Missing";
    const boost::shared_ptr<IObject> noObject;
    if (start->FindFunction(name, StaticStyle | InstanceStyle, noObject)) {
        state.SkipWithError("the missing name is found");
        return;
    }
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        boost::shared_ptr<IFunction> function =
            start->FindFunction(name, StaticStyle | InstanceStyle, noObject);
        benchmark::DoNotOptimize(function);
    }
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_FindMissingFunction)->Arg(1)->Arg(kChainDepth);

}  // namespace

BENCHMARK_MAIN();
