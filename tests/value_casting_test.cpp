#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <string>

#include "support/ScriptErrorText.h"

namespace VelmorandScript {
namespace {

using Testing::ScriptErrorText;

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {};
struct Square : Shape {};

class ValueCastingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StandardConversions::RegisterDataConversions(); }
};

TEST_F(ValueCastingTest, CastChecksComeInTheirOrder) {
    const DataType longType = TypeOf<long>();
    const Value empty;
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(nullptr, longType, true); }),
              L"Bad cast from empty value to type long.");
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(&empty, longType, false); }),
              L"Bad cast from empty value to type long.");

    // A null reference: the null check comes before the type check.
    const Value nullLong(static_cast<const long*>(nullptr), true);
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(&nullLong, longType, true); }),
              L"Invalid cast of null-pointer to expected type long.");
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(&nullLong, TypeOf<int>(), true); }),
              L"Invalid cast of null-pointer to expected type int.");
    EXPECT_EQ(CastTo<long>(&nullLong, false), nullptr);
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(&nullLong, TypeOf<int>(), false); }),
              L"Bad cast from type long to type int.");

    const long number = -1;
    const Value longValue(&number);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<unsigned long>(&longValue, true); }),
              L"Bad cast from type long to type unsigned long.");
    EXPECT_EQ(*CastTo<long>(&longValue, true), -1);
}

TEST_F(ValueCastingTest, OnlyTheDeclaredTypeCounts) {
    const Circle circle;
    const Value asShape(static_cast<const Shape*>(&circle), true);
    const Value asCircle(&circle, true);
    EXPECT_EQ(CastTo<Shape>(&asShape, true), &circle);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<Circle>(&asShape, true); }),
              L"Bad cast from type " + TypeOf<Shape>().GetName() + L" to type " +
                  TypeOf<Circle>().GetName() + L".");
    EXPECT_EQ(ScriptErrorText([&] { CastTo<Shape>(&asCircle, true); }),
              L"Bad cast from type " + TypeOf<Circle>().GetName() + L" to type " +
                  TypeOf<Shape>().GetName() + L".");

    // A shared value is read with its pointee type, not with the shared-pointer type.
    const Value shared(boost::make_shared<long>(7));
    EXPECT_EQ(GetAs<long>(shared), 7);
    EXPECT_EQ(
        ScriptErrorText([&] { CastTo<boost::shared_ptr<long>>(&shared, true); }),
        L"Bad cast from type long to type " + TypeOf<boost::shared_ptr<long>>().GetName() + L".");
}

TEST_F(ValueCastingTest, CastResultFailsOnlyWhenANonNullObjectBecameNull) {
    const Square square;
    const Value value(static_cast<const Shape*>(&square), true);
    const DataType shape = TypeOf<Shape>();
    const DataType circle = TypeOf<Circle>();
    const Shape* before = CastTo<Shape>(&value, true);
    const Circle* after = dynamic_cast<const Circle*>(before);

    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastResult(before, after, shape, circle, value); }),
              L"Unable to cast object from " + shape.GetName() + L" to " + circle.GetName() +
                  L" - object is not of type " + circle.GetName() + L", it is an unrelated type " +
                  TypeOf<Square>().GetName() + L".");
    EXPECT_EQ(
        ScriptErrorText([&] { Value::CheckCastResult(nullptr, nullptr, shape, circle, value); }),
        L"<no exception>");
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastResult(before, before, shape, shape, value); }),
              L"<no exception>");
}

TEST_F(ValueCastingTest, GetAsConvertsNumbersOnly) {
    const double real = 2.5;
    const Value realValue(&real);
    EXPECT_EQ(GetAs<long>(realValue), 2);
    EXPECT_EQ(GetAs<float>(realValue), 2.5f);
    EXPECT_EQ(GetAs<double>(realValue), 2.5);
    EXPECT_EQ(realValue.GetType(), TypeOf<double>()) << "the read does not change the value";

    const std::wstring text = L"42";
    const Value textValue(&text);
    EXPECT_EQ(ScriptErrorText([&] { GetAs<long>(textValue); }),
              L"Bad cast from type String to type long.");
    EXPECT_EQ(GetAs<std::wstring>(textValue), L"42");

    // A number type without a conversion path reports the conversion, not the cast.
    EXPECT_EQ(ScriptErrorText([&] { GetAs<bool>(realValue); }),
              L"No valid conversion from double to bool");

    // Only a number of another number type goes through the scratch value.
    const long number = 3;
    const Value longValue(&number);
    Value scratch;
    EXPECT_EQ(ConvertNumberForCast<std::wstring>(longValue, scratch), &longValue);
    EXPECT_EQ(ConvertNumberForCast<long>(longValue, scratch), &longValue);
    EXPECT_TRUE(scratch.IsEmpty());
    EXPECT_EQ(ConvertNumberForCast<int>(longValue, scratch), &scratch);
    EXPECT_EQ(GetAs<int>(scratch), 3);
}

TEST_F(ValueCastingTest, ConvertForCastConvertsWhateverTheFlags) {
    const std::wstring text = L"42";
    const Value textValue(&text);
    Value scratch;
    EXPECT_EQ(Value::ConvertForCastIfNecessary(textValue, scratch, TypeOf<std::wstring>()),
              &textValue);
    EXPECT_TRUE(scratch.IsEmpty());

    const Value* converted = Value::ConvertForCastIfNecessary(textValue, scratch, TypeOf<long>());
    EXPECT_EQ(converted, &scratch);
    EXPECT_EQ(*CastTo<long>(converted, true), 42);
    EXPECT_EQ(textValue.GetType(), TypeOf<std::wstring>());

    const bool flag = true;
    const Value boolValue(&flag);
    Value other;
    EXPECT_EQ(ScriptErrorText([&] {
                  Value::ConvertForCastIfNecessary(boolValue, other, TypeOf<std::wstring>());
              }),
              L"No valid conversion from bool to String");
}

}  // namespace
}  // namespace VelmorandScript
