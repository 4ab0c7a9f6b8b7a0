#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

#include "support/ScriptLogReader.h"
#include "support/WrapperRoutines.h"

namespace VelmorandScript {
namespace {

using Testing::ReadScriptLogLines;
using Testing::WrapWith;

// The registry is process-wide: every test uses types of its own.
template <int N>
struct Tag {
    virtual ~Tag() = default;
};
template <int N>
struct DerivedTag : Tag<N> {};

template <class T>
std::wstring NameOf() {
    return DataType(typeid(T)).GetName();
}

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

class ValueWrappingLoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(IsScripLoggingEnabled());
        Testing::RestartScriptLog();
    }

    static ConversionRegistry& Registry() { return ConversionRegistry::GetInstance(); }
};

TEST_F(ValueWrappingLoggingTest, DeclaredWrapperIsLoggedAndThenFoundForTheDerivedType) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<1>>(), &WrapWith<1>);
    const DerivedTag<1> object;
    Value first(static_cast<const Tag<1>*>(&object), true);
    Value second = first;
    const std::wstring firstDump = first.Dump(true);
    const std::wstring secondDump = second.Dump(true);

    ASSERT_TRUE(Registry().WrapValue({}, first));
    ASSERT_TRUE(Registry().WrapValue({}, second));
    EXPECT_EQ(ReadScriptLogLines(),
              (std::vector<std::wstring>{
                  L"\tWrapping Value " + firstDump + L" using wrapper for base type " +
                      NameOf<Tag<1>>() + L" instead of derived type " + NameOf<DerivedTag<1>>() +
                      L" - PLUS caching base wrapper for derived type",
                  L"\tWrapping Value " + secondDump + L" using wrapper for derived type " +
                      NameOf<DerivedTag<1>>()}));
}

TEST_F(ValueWrappingLoggingTest, ArrayWrapperLineIsWrittenWhetherFoundOrNot) {
    const auto array = boost::make_shared<Testing::EmptyTestArray>();
    Value value(array.get());
    const std::wstring dump = value.Dump(true);
    const std::wstring line = L"\tWrapping Value " + dump +
                              L" using array wrapper for derived type " +
                              NameOf<Testing::EmptyTestArray>();

    EXPECT_FALSE(Registry().WrapValue({}, value));
    Registry().RegisterDataWrapperRoutine(TypeOf<IArray>(), &WrapWith<2>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(ReadScriptLogLines(), (std::vector<std::wstring>{line, line}));
}

struct Gadget {
    virtual ~Gadget() = default;
};

TEST_F(ValueWrappingLoggingTest, GenericWrapperIsLoggedOnceThenFoundForTheType) {
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Gadget>(), L"WrappingLoggingTest::Gadget", nullptr, L"TestModule", false));
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       &WrapWith<3>);
    const Gadget gadget;
    Value first(&gadget, true);
    Value second = first;
    const std::wstring firstDump = first.Dump(true);
    const std::wstring secondDump = second.Dump(true);

    ASSERT_TRUE(Registry().WrapValue({}, first));
    ASSERT_TRUE(Registry().WrapValue({}, second));
    EXPECT_EQ(
        ReadScriptLogLines(),
        (std::vector<std::wstring>{L"\tUsing and registering generic wrapper for Value " +
                                       firstDump + L" of type " + NameOf<Gadget>(),
                                   L"\tWrapping Value " + secondDump +
                                       L" using wrapper for derived type " + NameOf<Gadget>()}));
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       nullptr);
}

Value ConvertToTag3(const Value&, boost::shared_ptr<IScriptContext>) {
    const Tag<3> converted;
    return Value(&converted);
}

TEST_F(ValueWrappingLoggingTest, UnknownTypeIsLoggedAndItsConversionIsNot) {
    Registry().RegisterDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<3>>(), &ConvertToTag3);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<3>>(), &WrapWith<4>);
    const Tag<2> object;
    Value value(&object, true);
    const std::wstring dump = value.Dump(true);

    ASSERT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(ReadScriptLogLines(),
              std::vector<std::wstring>{L"\tUnable to wrapping Value " + dump + L" of C++ type " +
                                        NameOf<Tag<2>>() + L" - no an recognized script class"});
}

}  // namespace
}  // namespace VelmorandScript
