// Calls through typed entries must be indistinguishable from calls through the descriptors: the
// same script runs in a context with typed calls and in one without, calling a function of every
// parameter type with a table of script values, and both must observe the same results, errors
// and warnings.

#include <VelmorandScript/Lua/LuaHost.h>

#include <boost/make_shared.hpp>

#include "support/SampleModule.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace VelmorandScript {
namespace Lua {
namespace {

struct Target {
    virtual ~Target() = default;
    double weight = 2.5;
};
struct Heavy : Target {
    Heavy() { weight = 7.0; }
};
struct Other {};
struct Typed {};

void RegisterClasses() {
    ClassBuilder<Target>(L"Diff::Target", L"Diff").Constructor().Register();
    ClassBuilder<Heavy>(L"Diff::Heavy", L"Diff").Base(L"Diff::Target").Constructor().Register();
    ClassBuilder<Other>(L"Diff::Other", L"Diff").Constructor().Register();
    ClassBuilder<Typed>(L"Diff::Typed", L"Diff")
        .Constructor()
        .Method(L"Double", [](Typed&, double x) { return x; }, {L"x"})
        .Method(L"Long", [](Typed&, long x) { return x; }, {L"x"})
        .Method(L"Bool", [](const Typed&, bool x) { return !x; }, {L"x"})
        .Method(L"Text", [](Typed&, const std::wstring& x) { return x + L"!"; }, {L"x"})
        .Method(L"Utf8", [](Typed&, std::string x) { return x.size(); }, {L"x"})
        .Method(L"Ref", [](Typed&, const Target& t) { return t.weight; }, {L"x"})
        .Method(L"Pointer", [](Typed&, Target* t) { return t != nullptr ? t->weight : -1.0; },
                {L"x"})
        .Method(L"Shared",
                [](Typed&, boost::shared_ptr<Target> t) { return t != nullptr ? t->weight : -1.0; },
                {L"x"})
        .Method(L"Int", [](Typed&, int x) { return x; }, {L"x"})
        .Method(L"Float", [](Typed&, float x) { return x; }, {L"x"})
        .Method(L"Unsigned", [](Typed&, unsigned long x) { return x; }, {L"x"})
        .Method(L"Truncate", [](Typed&, double x) { return static_cast<long>(x); }, {L"x"})
        .Method(L"Pair", [](Typed&, double a, long b) { return a * static_cast<double>(b); },
                {L"a", L"b"})
        .Method(L"Defaulted", [](Typed&, double a, double b) { return a - b; },
                {L"a", Default(L"b", 0.5)})
        .Method(L"Throws",
                [](Typed&, double x) -> double {
                    throw std::runtime_error("refused " + std::to_string(static_cast<long>(x)));
                },
                {L"x"})
        .Static(L"Twice", [](double x) { return 2 * x; }, {L"x"})
        .Register();
    ClassRegistry::GetInstance().CheckClasses();
}

// Calls every method with every value (and with none, and with one too many), and renders what
// the script observes: success, results with their Lua types, error texts, warnings.
const char* const kScript = R"lua(
local values = {
    {"1", 1}, {"-1", -1}, {"0", 0}, {"2^31-1", 2147483647}, {"2^31", 2147483648},
    {"-2^31-1", -2147483649}, {"maxinteger", math.maxinteger}, {"mininteger", math.mininteger},
    {"2^53+1", 9007199254740993}, {"1.0", 1.0}, {"1.5", 1.5}, {"-2.5", -2.5}, {"-0.0", -0.0},
    {"1e300", 1e300}, {"nan", 0/0}, {"inf", 1/0}, {"-inf", -1/0}, {"'42'", "42"},
    {"'4.5'", "4.5"}, {"'abc'", "abc"}, {"''", ""}, {"'\\xff'", "\xff"}, {"'é'", "é"},
    {"true", true}, {"false", false}, {"nil", nil}, {"target", Diff.Target.new()},
    {"heavy", Diff.Heavy.new()}, {"other", Diff.Other.new()}, {"typed", Diff.Typed.new()},
    {"table", {}}, {"function", print},
}
local methods = {"Double", "Long", "Bool", "Text", "Utf8", "Ref", "Pointer", "Shared", "Int",
                 "Float", "Unsigned", "Truncate", "Pair", "Defaulted", "Throws"}

local function render(...)
    local parts = {}
    for i = 1, select("#", ...) do
        local v = select(i, ...)
        local text = tostring(v):gsub("0x%x+", "@")
        parts[#parts + 1] = (math.type(v) or type(v)) .. ":" .. text
    end
    return table.concat(parts, " ")
end

local lines = {}
local seen = {}
velmorand.on_event(function(kind, text) seen[#seen + 1] = kind .. ":" .. text end)
local function record(label, f, ...)
    seen = {}
    lines[#lines + 1] = label .. " -> " .. render(pcall(f, ...)) .. " | " .. table.concat(seen, "|")
end

local obj = Diff.Typed.new()
for _, name in ipairs(methods) do
    record(name .. "()", obj[name], obj)
    for _, case in ipairs(values) do
        record(name .. "(" .. case[1] .. ")", obj[name], obj, case[2])
        record(name .. "(" .. case[1] .. ", 1)", obj[name], obj, case[2], 1)
    end
    record(name .. " on other", obj[name], Diff.Other.new(), 1)
end
for _, case in ipairs(values) do
    record("Twice(" .. case[1] .. ")", Diff.Typed.Twice, case[2])
end
observed = table.concat(lines, "\n")
)lua";

std::string Observe(bool typedCalls, std::uint64_t& typedCallCount) {
    const boost::shared_ptr<LuaContext> context = LuaContext::Create();
    context->SetTypedCalls(typedCalls);
    const RunResult result = context->RunString(kScript, "differential");
    EXPECT_EQ(result.status, RunStatus::Succeeded) << result.message;
    typedCallCount = context->GetTypedCallCount();
    return Common::ToUtf8(GetAs<std::wstring>(context->GetScriptVariable(L"observed")));
}

TEST(TypedCallsTest, TypedAndDescriptorCallsObserveTheSame) {
    Testing::RegisterSampleModule();
    RegisterClasses();
    std::uint64_t typedCount = 0;
    std::uint64_t descriptorCount = 0;
    const std::string typed = Observe(true, typedCount);
    const std::string described = Observe(false, descriptorCount);
    // Line by line, so that a difference names its call.
    std::istringstream typedLines(typed);
    std::istringstream describedLines(described);
    std::string typedLine;
    std::string describedLine;
    std::size_t lines = 0;
    while (std::getline(describedLines, describedLine)) {
        ASSERT_TRUE(std::getline(typedLines, typedLine)) << "typed run ended early";
        EXPECT_EQ(typedLine, describedLine);
        ++lines;
    }
    EXPECT_FALSE(std::getline(typedLines, typedLine)) << "typed run has more lines";
    EXPECT_GT(lines, 900u);
    // Both runs compared something: the typed one took the typed way for the values it takes.
    EXPECT_EQ(descriptorCount, 0u);
    EXPECT_GT(typedCount, 100u);
}

}  // namespace
}  // namespace Lua
}  // namespace VelmorandScript
