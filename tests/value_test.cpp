#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/Values.h>

#include "support/ScriptErrorText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;

namespace {

/// What the dumps show for a pointer, computed independently of the stream they use.
std::wstring Hex(const void* pointer) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lx",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return std::wstring(digits, digits + std::char_traits<char>::length(digits));
}

class TestArray : public IArray {
public:
    TestArray() : IArray(boost::shared_ptr<Class>(), Value()) {}
    long Count() const override { return 0; }
    bool IsEmpty() const override { return true; }
    void Clear() override {}
    void Add(const Value&, bool) override {}
    void Count(long) override {}
    void Delete(long) override {}
    void Insert(long, const Value&) override {}
    Value Item(long) const override { return Value(); }
    void Replace(long, const Value&) override {}
};

struct Meters {
    double amount;
};
struct Feet {
    double amount;
};

Value MetersToFeet(const Value& source, boost::shared_ptr<IScriptContext>) {
    const Feet feet{static_cast<const Meters*>(source.GetValuePtr())->amount * 3.25};
    return Value(&feet);
}

}  // namespace

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

    TestArray array;
    const Value asArray(static_cast<const IArray*>(&array), false, true);
    EXPECT_TRUE(asArray.IsIObject() && asArray.IsVector() && !asArray.IsMap());
    EXPECT_FALSE(asArray.IsConst() || asArray.IsNumber());
    EXPECT_EQ(asArray.GetDerivedType(), DataType(typeid(TestArray)));
    const Value asHash(static_cast<const IHash*>(nullptr));
    EXPECT_TRUE(asHash.IsIObject() && asHash.IsMap() && !asHash.IsVector());
    EXPECT_EQ(asHash.GetDecoratedTypeName(), L"VelmorandScript::IHash const*");
    const Value asObject(static_cast<const IObject*>(&array));
    EXPECT_TRUE(asObject.IsIObject() && !asObject.IsVector());
}

TEST(ValueTest, CopiesShareTheHolder) {
    int number = 1;
    Value first(&number);
    const Value second(first);
    *static_cast<int*>(second.GetValuePtr()) = 5;
    EXPECT_EQ(*static_cast<int*>(first.GetValuePtr()), 5);
    first = *&first;
    EXPECT_EQ(first.GetValuePtr(), second.GetValuePtr());

    boost::shared_ptr<int> shared = boost::make_shared<int>(3);
    Value holder(shared);
    holder = Value();
    EXPECT_TRUE(holder.IsEmpty() && !holder.IsNumber());
    EXPECT_EQ(shared.use_count(), 1);
}

TEST(ValueTest, CastChecksRunInOrder) {
    const DataType longType(typeid(long));
    const Value empty;
    for (const Value* value : {static_cast<const Value*>(nullptr), &empty}) {
        EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastParameters(value, longType, true); }),
                  L"Bad cast from empty value to type long.");
    }
    const Value null(static_cast<const long*>(nullptr), true);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<long>(&null, true); }),
              L"Invalid cast of null-pointer to expected type long.");
    EXPECT_EQ(CastTo<long>(&null, false), nullptr);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<unsigned long>(&null, false); }),
              L"Bad cast from type long to type unsigned long.");

    const DataType from(typeid(IArray)), to(typeid(IHash));
    int object = 0;
    EXPECT_NO_THROW(Value::CheckCastResult(nullptr, nullptr, from, to, null));
    EXPECT_NO_THROW(Value::CheckCastResult(&object, &object, from, to, null));
    EXPECT_EQ(ScriptErrorText([&] { Value::CheckCastResult(&object, nullptr, from, to, null); }),
              L"Unable to cast object from VelmorandScript::IArray to VelmorandScript::IHash - "
              L"object is not of type VelmorandScript::IHash, it is an unrelated type void.");
}

TEST(ValueTest, ConvertForCastConvertsOnlyOtherTypes) {
    ConversionRegistry::GetInstance().RegisterDataConversion(DataType(typeid(Meters)),
                                                             DataType(typeid(Feet)), &MetersToFeet);
    const Meters two{2.0};
    const Value meters(&two);
    Value scratch;
    EXPECT_EQ(Value::ConvertForCastIfNecessary(meters, scratch, DataType(typeid(Meters))), &meters);
    EXPECT_TRUE(scratch.IsEmpty());

    const Value* converted =
        Value::ConvertForCastIfNecessary(meters, scratch, DataType(typeid(Feet)));
    ASSERT_EQ(converted, &scratch);
    EXPECT_EQ(CastTo<Feet>(converted, true)->amount, 6.5);
    EXPECT_THROW(Value::ConvertForCastIfNecessary(meters, scratch, DataType(typeid(Feet*))),
                 ScriptException);
}
