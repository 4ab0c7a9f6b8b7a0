#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <Common/Text.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace {

using namespace Testing;
typedef std::vector<std::wstring> Lines;

template <int N>
struct Tag {
    virtual ~Tag() = default;
};
struct DerivedTag : Tag<1> {};
struct Gadget {
    virtual ~Gadget() = default;
};

Value ConvertToTag3(const Value&, boost::shared_ptr<IScriptContext>) {
    return Make(Tag<3>());
}

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

Lines ReadLogLines() {
    Lines lines;
    std::ifstream file("script.log", std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        lines.push_back(Common::ToWString(line));
    }
    return lines;
}

/// Wraps a copy of `value` and returns the copy's dump, as the log shows it.
std::wstring Wrap(const Value& value) {
    Value copy = value;
    const std::wstring dump = copy.Dump(true);
    Registry().WrapValue({}, copy);
    return dump;
}

class ScriptLogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StandardConversions::RegisterDataConversions(); }
    void SetUp() override {
        ASSERT_TRUE(IsScripLoggingEnabled());
        DebugLog(L"", 0, 0, false, true);  // empties the log and resets its address ids
    }
};

TEST_F(ScriptLogTest, LinesAreWrittenAsGivenAndRestartResetsAddressIds) {
    ASSERT_STREQ(std::getenv("ENABLE_SCRIPT_LOGGING"), "") << "run through ctest";
    DebugLog(L"first", 0, 0, true, true);
    DebugLog(L"a %s and %d \u00fc", 3, 7, false, false);
    DebugLog(L"", 0, 0, true, false);
    DebugLog(L"last", 1, 0, true, false);
    std::ifstream file("script.log", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              "first\n\t\t\ta %s and %d \xc3\xbc\n\tlast\n");

    const int objects[2] = {};
    GetAddressId(&objects[0], false);
    DebugLog(L"again", 0, 0, true, true);
    EXPECT_EQ(ReadLogLines(), Lines{L"again"});
    EXPECT_EQ(GetAddressId(&objects[1], false), 0u);
}

TEST_F(ScriptLogTest, EachConversionStepAndSuccessfulLookupWritesOneLine) {
    // Boxing and missing conversions write nothing.
    Value boolValue = Make(true);
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<std::wstring>(), {}, boolValue, false));
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, boolValue, true));
    // Two steps through the intermediate String: one line per step, the second from String.
    Value value = Make(5L);
    const std::wstring dump = L"\tConverting Value " + value.Dump(true);
    ASSERT_TRUE(Registry().ConvertValue(TypeOf<long>(), {}, value, true));
    ASSERT_TRUE(Registry().ConvertValue(TypeOf<double>(), {}, value, true));

    // Only successful function lookups write a line, naming the class whose table matched.
    const auto base = RegisterClass<1>(L"LogBase");
    const auto derived = MakeClass<2>(L"LogDerived", L"LogBase");
    base->AddFunction(MakeFunction(L"Size", PropertyGetStyle | InstanceStyle));
    EXPECT_FALSE(derived->FindFunction(L"Missing", StyleMask, nullptr));
    EXPECT_TRUE(derived->FindFunction(L"Size", 0x8, nullptr));
    EXPECT_EQ(ReadLogLines(), (Lines{dump + L" from long to String", dump + L" from String to long",
                                     dump + L" from long to double",
                                     L"\tMatched instance | property get function LogBase::Size"}));
}

TEST_F(ScriptLogTest, WrappingLogsHowTheWrapperWasFound) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<1>>(), &WrapWith<1>);
    const DerivedTag derived;
    const Value declared(static_cast<const Tag<1>*>(&derived), true);
    const std::wstring declaredFirst = Wrap(declared);
    const std::wstring declaredAgain = Wrap(declared);

    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Gadget>(), L"WrappingLoggingTest::Gadget", nullptr, L"TestModule", false));
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       &WrapWith<2>);
    const Gadget gadget;
    const std::wstring genericFirst = Wrap(Value(&gadget, true));

    // An unknown type is logged; the conversion that then finds a wrapper is not.
    Registry().RegisterDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<3>>(), &ConvertToTag3);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<3>>(), &WrapWith<4>);
    const Tag<2> unknown;
    const std::wstring unknownDump = Wrap(Value(&unknown, true));

    const std::wstring wrapping = L"\tWrapping Value ";
    EXPECT_EQ(ReadLogLines(),
              (Lines{wrapping + declaredFirst + L" using wrapper for base type " +
                         NameOf<Tag<1>>() + L" instead of derived type " + NameOf<DerivedTag>() +
                         L" - PLUS caching base wrapper for derived type",
                     wrapping + declaredAgain + L" using wrapper for derived type " +
                         NameOf<DerivedTag>(),
                     L"\tUsing and registering generic wrapper for Value " + genericFirst +
                         L" of type " + NameOf<Gadget>(),
                     L"\tUnable to wrapping Value " + unknownDump + L" of C++ type " +
                         NameOf<Tag<2>>() + L" - no an recognized script class"}));
}

}  // namespace
}  // namespace VelmorandScript
