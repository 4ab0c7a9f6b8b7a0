// Argument building from a host's source, without any host in between: the Lua host's scripts
// cover the rest of the host-neutral layer end to end.

#include <VelmorandScript/Hosting.h>

#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace {

using Testing::Make;
using Testing::Read;

/// Script values as a test lists them: an empty Value is the script's nothing.
class ListSource : public Hosting::ArgumentSource {
public:
    explicit ListSource(std::vector<Value> values) : m_values(std::move(values)) {}

    int GetCount() const override { return static_cast<int>(m_values.size()); }
    bool IsNothing(int index) const override { return m_values[index].IsEmpty(); }
    Value Read(int index, const Argument&) override { return m_values[index]; }
    const char* GetScriptWord(int) const override { return nullptr; }
    boost::shared_ptr<IScriptContext> GetContext() override { return nullptr; }

private:
    std::vector<Value> m_values;
};

class Frame : public IScriptCall {
public:
    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return L"Host::Probe"; }
    std::wstring GetCalledFunctionName() const override { return L"Host::Probe::Take"; }
};

/// Take(double x, [String label = "none"]) -> double, with an output after the result.
boost::shared_ptr<NativeFunction> MakeTake() {
    auto take =
        boost::make_shared<NativeFunction>(L"Take", L"Host::Probe", L"Test", false, InstanceStyle,
                                           [](const Value&, std::vector<Value>&) {});
    take->AddArgument(
        Argument(DataType(typeid(double)), L"double", L"x", InputArgument, Value(), nullptr));
    take->AddArgument(Argument(DataType(typeid(std::wstring)), L"String", L"label",
                               InputArgument | OptionalArgument, Make(std::wstring(L"none")),
                               L"\"none\""));
    take->AddArgument(
        Argument(DataType(typeid(long)), L"long", L"count", OutputArgument, Value(), nullptr));
    take->AddArgument(
        Argument(DataType(typeid(double)), L"double", L"result", ReturnArgument, Value(), nullptr));
    return take;
}

std::wstring BuildError(const IFunction& function, std::vector<Value> given) {
    ListSource source(std::move(given));
    std::vector<Value> values;
    try {
        Hosting::BuildArguments(function, source, Frame(), values);
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"";
}

TEST(HostingTest, BuildArgumentsConvertsDefaultsAndClearsOtherSlots) {
    StandardConversions::RegisterDataConversions();
    const boost::shared_ptr<NativeFunction> take = MakeTake();
    ListSource source({Make(2L), Value()});  // an integer for a double, nothing for the label
    std::vector<Value> values{Make(1L), Make(1L), Make(7L), Make(9.5)};
    Hosting::BuildArguments(*take, source, Frame(), values);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(Read<double>(values[0]), 2.0);
    EXPECT_EQ(Read<std::wstring>(values[1]), L"none");
    EXPECT_TRUE(values[2].IsEmpty());  // the output starts empty, whatever the slot held
    EXPECT_TRUE(values[3].IsEmpty());
}

TEST(HostingTest, ArgumentErrorsNameTheArgumentAndIgnoreTrailingNothing) {
    StandardConversions::RegisterDataConversions();
    const boost::shared_ptr<NativeFunction> take = MakeTake();
    const struct {
        std::vector<Value> given;
        const wchar_t* expected;  // part of the text, or "" for no error
    } cases[] = {
        {{}, L"Missing argument 'x'"},
        {{Value()}, L"Expected double, got nil"},
        {{Make(std::wstring(L"many"))}, L"argument #1"},
        {{Make(1.0), Make(std::wstring(L"a")), Make(3L)}, L"Too many arguments"},
        {{Make(1.0), Make(std::wstring(L"a")), Value(), Value()}, L""},
    };
    for (const auto& test : cases) {
        const std::wstring error = BuildError(*take, test.given);
        if (*test.expected == L'\0') {
            EXPECT_EQ(error, L"");
        } else {
            EXPECT_NE(error.find(test.expected), std::wstring::npos) << error;
            EXPECT_NE(error.find(L"Host::Probe::Take"), std::wstring::npos) << error;
        }
    }
}

}  // namespace
}  // namespace VelmorandScript
