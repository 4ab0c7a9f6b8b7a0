#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/Values.h>

#include "support/ScriptErrorText.h"
#include "support/WrapperRoutines.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <cstdint>
#include <cwchar>
#include <map>
#include <string>

using namespace VelmorandScript;
using VelmorandScript::Testing::EmptyTestArray;
using VelmorandScript::Testing::ScriptErrorText;

namespace {

/// A second type_info object under a name of our choosing, as another module would have one.
class NamedTypeInfo : public std::type_info {
public:
    explicit NamedTypeInfo(const char* name) : std::type_info(name) {}
};

struct LocalType {};
struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {};
struct Square : Shape {};

template <class T>
std::wstring NameOf() {
    return DataType(typeid(T)).GetName();
}

/// What the dumps show for a pointer, computed independently of the stream they use.
std::wstring Hex(const void* pointer) {
    wchar_t digits[32];
    std::swprintf(digits, 32, L"%lx", static_cast<unsigned long>(std::uintptr_t(pointer)));
    return digits;
}

Value CreateSeven() {
    return Value(boost::make_shared<int>(7));
}

TEST(DataTypeTest, NamesAreReadableAndIdentityIsByRunTimeName) {
    const std::pair<const std::type_info&, const wchar_t*> names[] = {
        {typeid(void), L"void"},
        {typeid(long), L"long"},
        {typeid(unsigned long), L"unsigned long"},
        {typeid(int), L"int"},
        {typeid(double), L"double"},
        {typeid(std::wstring), L"String"},
        {typeid(std::map<std::wstring, std::wstring>),
         L"std::map<String, String, std::less<String>, "
         L"std::allocator<std::pair<String const, String> > >"},
        // The marker of internal linkage in the run-time name is not shown.
        {typeid(LocalType), L"(anonymous namespace)::LocalType"}};
    for (const auto& [type, name] : names) {
        EXPECT_EQ(DataType(type).GetName(), name);
    }

    const NamedTypeInfo otherLong(typeid(long).name());
    EXPECT_EQ(DataType(typeid(long)), DataType(otherLong));

    // Names compare as unsigned bytes, a prefix first.
    const NamedTypeInfo shorter("Ab"), longer("Abc"), high("\xC3"), low("z");
    EXPECT_EQ(DataType(shorter).Compare(DataType(longer)), -1);
    EXPECT_EQ(DataType(longer).Compare(DataType(shorter)), 1);
    EXPECT_TRUE(DataType(low) < DataType(high));
}

TEST(ValueTest, EmptyValueAnswersWithVoid) {
    const Value empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(empty.IsConst() || empty.IsIObject() || empty.IsVector() || empty.IsMap() ||
                 empty.IsNumber() || empty.IsInsideSmartPointer());
    EXPECT_EQ(empty.GetValuePtr(), nullptr);
    EXPECT_EQ(empty.GetDecoratedType(), DataType(typeid(void)));
    EXPECT_EQ(empty.GetTypeName() + empty.GetDerivedTypeName(), L"voidvoid");
    EXPECT_EQ(empty.Dump(false), L"[Value @ 0x" + Hex(&empty) + L"]: <Empty>");
}

TEST(ValueTest, NativeValuesByCopyAndByReference) {
    long number = 41;
    const Value copy(&number, false, true);
    const Value reference(&number, true);
    number = 42;
    EXPECT_EQ(*static_cast<long*>(copy.GetValuePtr()), 41);
    EXPECT_EQ(reference.GetValuePtr(), &number);
    EXPECT_EQ(Value(copy).GetValuePtr(), copy.GetValuePtr()) << "copies share the holder";
    EXPECT_TRUE(copy.IsNumber() && copy.IsConst() && !reference.IsConst());
    EXPECT_EQ(copy.GetDecoratedTypeName(), L"long");
    EXPECT_EQ(reference.GetDecoratedTypeName(), L"long const*");
    EXPECT_EQ(copy.Dump(true), L"[Value @ 0x" + Hex(&copy) + L"]");
    EXPECT_EQ(reference.Dump(false), L"[Value @ 0x" + Hex(&reference) +
                                         L"]: Type=long DerivedType=long C:0 O:0 V:0 ISP:0 Ptr:" +
                                         Hex(&number));

    const Value null(static_cast<const long*>(nullptr), true);
    EXPECT_FALSE(null.IsEmpty());
    EXPECT_EQ(null.GetTypeName(), L"long");
    EXPECT_EQ(null.GetDerivedType(), Value::s_typeVoid);
    EXPECT_NE(null.Dump(false).find(L"Ptr:0"), std::wstring::npos);

    const std::wstring text = L"text";
    EXPECT_FALSE(Value(&text).IsNumber());
}

TEST(ValueTest, SharedAndObjectValuesIgnoreTheFlagArguments) {
    boost::shared_ptr<double> number = boost::make_shared<double>(2.5);
    {
        const Value shared(number, false, true);
        EXPECT_EQ(number.use_count(), 2);
        EXPECT_EQ(shared.GetValuePtr(), number.get());
        EXPECT_EQ(shared.GetDecoratedTypeName(), L"boost::shared_ptr<double>");
        EXPECT_NE(shared.Dump(false).find(L"Type=double DerivedType=double C:0 O:0 V:0 ISP:1"),
                  std::wstring::npos);
    }
    EXPECT_EQ(number.use_count(), 1);
    EXPECT_EQ(Value(boost::shared_ptr<int>()).GetDerivedType(), Value::s_typeVoid);

    EmptyTestArray array;
    const Value asArray(static_cast<const IArray*>(&array), false, true);
    EXPECT_TRUE(asArray.IsIObject() && asArray.IsVector() && !asArray.IsMap());
    EXPECT_FALSE(asArray.IsConst() || asArray.IsNumber());
    EXPECT_EQ(asArray.GetDerivedType(), DataType(typeid(EmptyTestArray)));
    const Value asHash(static_cast<const IHash*>(nullptr));
    EXPECT_TRUE(asHash.IsIObject() && asHash.IsMap() && !asHash.IsVector());
    EXPECT_EQ(asHash.GetDecoratedTypeName(), L"VelmorandScript::IHash const*");
    const Value asObject(static_cast<const IObject*>(&array));
    EXPECT_TRUE(asObject.IsIObject() && !asObject.IsVector());
}

TEST(ValueCastingTest, EveryCheckRaisesItsMessageInItsTurn) {
    const Value empty;
    EXPECT_EQ(
        ScriptErrorText([&] { Value::CheckCastParameters(nullptr, DataType(typeid(long)), true); }),
        L"Bad cast from empty value to type long.");
    EXPECT_EQ(ScriptErrorText([&] { CastTo<long>(&empty, false); }),
              L"Bad cast from empty value to type long.");
    // A null reference: the null check comes before the type check.
    const Value nullLong(static_cast<const long*>(nullptr), true);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<int>(&nullLong, true); }),
              L"Invalid cast of null-pointer to expected type int.");
    EXPECT_EQ(ScriptErrorText([&] { CastTo<int>(&nullLong, false); }),
              L"Bad cast from type long to type int.");
    EXPECT_EQ(CastTo<long>(&nullLong, false), nullptr);

    // Only the declared type counts; a shared value declares its pointee's type.
    const Circle circle;
    const Value asShape(static_cast<const Shape*>(&circle), true);
    EXPECT_EQ(CastTo<Shape>(&asShape, true), &circle);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<Circle>(&asShape, true); }),
              L"Bad cast from type " + NameOf<Shape>() + L" to type " + NameOf<Circle>() + L".");
    const Value shared(boost::make_shared<long>(7));
    EXPECT_EQ(*CastTo<long>(&shared, true), 7);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<unsigned long>(&shared, true); }),
              L"Bad cast from type long to type unsigned long.");

    // A dynamic cast fails only when a non-null object became null.
    const Square square;
    const Value squareAsShape(static_cast<const Shape*>(&square), true);
    const Shape* shape = &square;
    const DataType from(typeid(Shape)), to(typeid(Circle));
    EXPECT_EQ(
        ScriptErrorText([&] { Value::CheckCastResult(shape, nullptr, from, to, squareAsShape); }),
        L"Unable to cast object from " + NameOf<Shape>() + L" to " + NameOf<Circle>() +
            L" - object is not of type " + NameOf<Circle>() + L", it is an unrelated type " +
            NameOf<Square>() + L".");
    EXPECT_NO_THROW(Value::CheckCastResult(nullptr, nullptr, from, to, squareAsShape));
}

TEST(ValueCastingTest, ReadsConvertNumbersOnly) {
    StandardConversions::RegisterDataConversions();
    const double real = 2.5;
    const Value realValue(&real);
    EXPECT_EQ(GetAs<long>(realValue), 2);
    EXPECT_EQ(GetAs<float>(realValue), 2.5f);
    EXPECT_EQ(realValue.GetType(), DataType(typeid(double))) << "the read changed the value";
    // A number type without a path reports the conversion, not the cast.
    EXPECT_EQ(ScriptErrorText([&] { GetAs<bool>(realValue); }),
              L"No valid conversion from double to bool");
    const std::wstring text = L"42";
    const Value textValue(&text);
    EXPECT_EQ(ScriptErrorText([&] { GetAs<long>(textValue); }),
              L"Bad cast from type String to type long.");

    // Only a number of another number type goes through the scratch value.
    const long number = 3;
    const Value longValue(&number);
    Value scratch;
    EXPECT_EQ(ConvertNumberForCast<std::wstring>(longValue, scratch), &longValue);
    EXPECT_EQ(ConvertNumberForCast<long>(longValue, scratch), &longValue);
    EXPECT_TRUE(scratch.IsEmpty());
    EXPECT_EQ(ConvertNumberForCast<int>(longValue, scratch), &scratch);
    EXPECT_EQ(GetAs<int>(scratch), 3);

    // Converting for a cast works for any type, numbers or not.
    Value converted;
    EXPECT_EQ(
        Value::ConvertForCastIfNecessary(textValue, converted, DataType(typeid(std::wstring))),
        &textValue);
    EXPECT_TRUE(converted.IsEmpty());
    EXPECT_EQ(Value::ConvertForCastIfNecessary(textValue, converted, DataType(typeid(long))),
              &converted);
    EXPECT_EQ(GetAs<long>(converted), 42);
}

TEST(ValueFactoryTest, StartUpCreatorsMakeSharedZerosAndTheFirstRegistrationWins) {
    ValueFactory& factory = ValueFactory::GetFactory();
    const DataType intType(typeid(int));
    const Value first = factory.CreateObject(intType);
    ASSERT_EQ(first.GetType(), intType);
    EXPECT_TRUE(first.IsNumber() && first.IsInsideSmartPointer());
    EXPECT_EQ(*static_cast<int*>(first.GetValuePtr()), 0);
    EXPECT_NE(factory.CreateObject(intType).GetValuePtr(), first.GetValuePtr());
    EXPECT_EQ(GetAs<double>(factory.CreateObject(DataType(typeid(double)))), 0.0);

    EXPECT_FALSE(factory.AddCreator(intType, &CreateSeven));
    EXPECT_EQ(GetAs<int>(factory.CreateObject(intType)), 0);
    EXPECT_TRUE(factory.RemoveCreator(intType));
    EXPECT_FALSE(factory.RemoveCreator(intType));
    EXPECT_TRUE(factory.CreateObject(intType).IsEmpty());
    EXPECT_TRUE(factory.AddCreator(intType, &CreateSeven));
    // Another type_info object of the same name finds the same creator.
    const NamedTypeInfo otherInt(typeid(int).name());
    EXPECT_EQ(GetAs<int>(factory.CreateObject(DataType(otherInt))), 7);
}

}  // namespace
