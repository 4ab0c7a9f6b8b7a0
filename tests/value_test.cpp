#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace VelmorandScript;
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

Value CreateSeven() {
    return Value(boost::make_shared<int>(7));
}

TEST(ValueTest, TypeNamesCopiesReferencesAndDumps) {
    // Names are readable; the marker of internal linkage in the run-time name is not shown.
    EXPECT_EQ((NameOf<std::map<std::wstring, int>>()),
              L"std::map<String, int, std::less<String>, "
              L"std::allocator<std::pair<String const, int> > >");
    EXPECT_EQ(NameOf<LocalType>(), L"(anonymous namespace)::LocalType");
    EXPECT_EQ(DataType(typeid(long)), DataType(NamedTypeInfo(typeid(long).name())));

    long number = 41;
    const Value copy(&number, false, true);
    const Value reference(&number, true);
    number = 42;
    EXPECT_EQ(*static_cast<long*>(copy.GetValuePtr()), 41);
    EXPECT_EQ(reference.GetDecoratedTypeName(), L"long const*");
    const auto hex = [](const void* pointer) {
        wchar_t digits[32];
        std::swprintf(digits, 32, L"%lx", static_cast<unsigned long>(std::uintptr_t(pointer)));
        return std::wstring(digits);
    };
    EXPECT_EQ(reference.Dump(true), L"[Value @ 0x" + hex(&reference) + L"]");
    EXPECT_EQ(reference.Dump(false), reference.Dump(true) +
                                         L": Type=long DerivedType=long C:0 O:0 V:0 ISP:0 Ptr:" +
                                         hex(&number));
    const Value empty;
    EXPECT_EQ(empty.Dump(false), empty.Dump(true) + L": <Empty>");
}

TEST(ValueCastingTest, EveryCheckRaisesItsMessageInItsTurn) {
    const Value empty;
    EXPECT_EQ(ScriptErrorText([&] { CastTo<long>(&empty, false); }),
              L"Bad cast from empty value to type long.");
    // A null reference: the null check comes before the type check.
    const Value nullLong(static_cast<const long*>(nullptr), true);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<int>(&nullLong, true); }),
              L"Invalid cast of null-pointer to expected type int.");
    EXPECT_EQ(ScriptErrorText([&] { CastTo<int>(&nullLong, false); }),
              L"Bad cast from type long to type int.");
    EXPECT_EQ(CastTo<long>(&nullLong, false), nullptr);

    // Only the declared type counts.
    const Circle circle;
    const Value asShape(static_cast<const Shape*>(&circle), true);
    EXPECT_EQ(ScriptErrorText([&] { CastTo<Circle>(&asShape, true); }),
              L"Bad cast from type " + NameOf<Shape>() + L" to type " + NameOf<Circle>() + L".");
    // A dynamic cast fails only when a non-null object became null.
    const Square square;
    const Shape* shape = &square;
    const DataType from(typeid(Shape)), to(typeid(Circle));
    const Value squareAsShape(shape, true);
    EXPECT_EQ(
        ScriptErrorText([&] { Value::CheckCastResult(shape, nullptr, from, to, squareAsShape); }),
        L"Unable to cast object from " + NameOf<Shape>() + L" to " + NameOf<Circle>() +
            L" - object is not of type " + NameOf<Circle>() + L", it is an unrelated type " +
            NameOf<Square>() + L".");
    EXPECT_NO_THROW(Value::CheckCastResult(nullptr, nullptr, from, to, squareAsShape));

    // Reads convert numbers only; a number type without a path reports the conversion.
    StandardConversions::RegisterDataConversions();
    const Value real = Testing::Make(2.5);
    EXPECT_EQ(GetAs<long>(real), 2);
    EXPECT_EQ(ScriptErrorText([&] { GetAs<bool>(real); }),
              L"No valid conversion from double to bool");
    EXPECT_EQ(ScriptErrorText([&] { GetAs<long>(Testing::Make(std::wstring(L"42"))); }),
              L"Bad cast from type String to type long.");
}

TEST(ValueTest, OnlyACopyNoOtherValueSharesIsOverwrittenInPlace) {
    double number = 1.5;
    Value copy(&number);
    ASSERT_TRUE(copy.OverwriteSoleCopy(2.5));
    EXPECT_EQ(GetAs<double>(copy), 2.5);
    const Value sharing = copy;
    Value reference(&number, true);
    Value constant(&number, false, true);
    Value smart(boost::make_shared<double>(1.0));
    Value empty;
    for (Value* value : {&copy, &reference, &constant, &smart, &empty}) {
        EXPECT_FALSE(value->OverwriteSoleCopy(3.5)) << value->Dump(false);
    }
    EXPECT_FALSE(Value(&number).OverwriteSoleCopy(3L));  // another type
    EXPECT_EQ(GetAs<double>(sharing), 2.5);
    EXPECT_EQ(number, 1.5);
}

TEST(ValueTest, HoldersReleasedOnOtherThreadsAreFreedWithTheirThreads) {
    // The memory check runs this program: holders recycled per thread must reach the heap again
    // when their thread ends, and holders may be released on another thread than their maker's.
    constexpr long kKept = 100;
    std::vector<Value> kept(4 * kKept);
    std::vector<std::thread> threads;
    for (long thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&kept, thread] {
            for (long i = 0; i < 10 * kKept; ++i) {
                const double half = i / 2.0;
                Value value(&half);
                if (i % 10 == 0) {
                    kept[thread * kKept + i / 10] = value;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(GetAs<double>(kept[i]), static_cast<double>(i % kKept) * 5.0);
    }
}

TEST(ValueFactoryTest, StartUpCreatorsMakeSharedZerosAndTheFirstRegistrationWins) {
    ValueFactory& factory = ValueFactory::GetFactory();
    const DataType intType(typeid(int));
    const Value first = factory.CreateObject(intType);
    EXPECT_TRUE(first.IsInsideSmartPointer() && GetAs<int>(first) == 0);
    EXPECT_NE(factory.CreateObject(intType).GetValuePtr(), first.GetValuePtr());
    EXPECT_FALSE(factory.AddCreator(intType, &CreateSeven));
    EXPECT_TRUE(factory.RemoveCreator(intType));
    EXPECT_FALSE(factory.RemoveCreator(intType));
    EXPECT_TRUE(factory.CreateObject(intType).IsEmpty());
    EXPECT_TRUE(factory.AddCreator(intType, &CreateSeven));
    // Another type_info object of the same name finds the same creator.
    EXPECT_EQ(GetAs<int>(factory.CreateObject(DataType(NamedTypeInfo(typeid(int).name())))), 7);
}

}  // namespace
