#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

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

TEST(ValueTest, TypeNamesCopiesAndReferences) {
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
    EXPECT_NE(reference.Dump(false).find(L": Type=long DerivedType=long C:0 O:0 V:0 ISP:0 Ptr:"),
              std::wstring::npos);
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
    const Value real = Make(2.5);
    EXPECT_EQ(GetAs<long>(real), 2);
    EXPECT_EQ(ScriptErrorText([&] { GetAs<bool>(real); }),
              L"No valid conversion from double to bool");
    EXPECT_EQ(ScriptErrorText([&] { GetAs<long>(Make(std::wstring(L"42"))); }),
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

TEST(ValueTest, MovedFromValueKeepsNoFlagsOfWhatItHeld) {
    StandardConversions::RegisterDataConversions();
    long number = 3;
    const std::function<Value()> makers[] = {
        [&] { return Value(&number, false, true); },
        [] { return Value(boost::make_shared<double>(1.5)); },
        [] { return Value(static_cast<const IObject*>(MakeEmptyArray().get())); },
    };
    for (const auto& make : makers) {
        Value constructed = make();
        const Value taker(std::move(constructed));
        Value assigned = make();
        Value assignee;
        assignee = std::move(assigned);
        for (const Value* moved : {&constructed, &assigned}) {
            EXPECT_TRUE(moved->IsEmpty());
            EXPECT_FALSE(moved->IsConst() || moved->IsIObject() || moved->IsVector() ||
                         moved->IsMap() || moved->IsNumber() || moved->IsInsideSmartPointer())
                << taker.Dump(false);
            EXPECT_EQ(ScriptErrorText([&] { GetAs<int>(*moved); }),
                      L"Bad cast from empty value to type int.");
        }
    }
}

TEST(ValueTest, SharedConstNumberIsANumberThatConverts) {
    StandardConversions::RegisterDataConversions();
    const Value values[] = {Value(boost::shared_ptr<const int>(boost::make_shared<int>(7))),
                            Value(boost::shared_ptr<const double>(boost::make_shared<double>(7)))};
    for (const Value& value : values) {
        EXPECT_TRUE(value.IsNumber()) << value.GetTypeName();
        EXPECT_EQ(GetAs<long>(value), 7);
    }
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
    const auto createSeven = +[] { return Value(boost::make_shared<int>(7)); };
    const Value first = factory.CreateObject(intType);
    EXPECT_TRUE(first.IsInsideSmartPointer() && GetAs<int>(first) == 0);
    EXPECT_NE(factory.CreateObject(intType).GetValuePtr(), first.GetValuePtr());
    EXPECT_FALSE(factory.AddCreator(intType, createSeven));
    EXPECT_TRUE(factory.RemoveCreator(intType));
    EXPECT_FALSE(factory.RemoveCreator(intType));
    EXPECT_TRUE(factory.CreateObject(intType).IsEmpty());
    EXPECT_TRUE(factory.AddCreator(intType, createSeven));
    // Another type_info object of the same name finds the same creator.
    EXPECT_EQ(GetAs<int>(factory.CreateObject(DataType(NamedTypeInfo(typeid(int).name())))), 7);
}

TEST(ErrorsTest, ExceptionsArgumentErrorsAndAddressIds) {
    // Copies share their text: a handler catching by value cannot fail to allocate.
    static_assert(std::is_nothrow_copy_constructible<ScriptAbortException>::value);
    static_assert(std::is_nothrow_copy_constructible<ScriptCancelException>::value);
    const ScriptAbortException abort(L"stop \u00e9");
    EXPECT_STREQ(abort.what(), "stop \xc3\xa9");
    const TestScriptCall byNumber(L"Resize", true);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad", &byNumber, 11, L"r"); }),
              L"Bad (argument #12, calling Resize).");
    const TestScriptCall byName(L"Move", false);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad x", &byName, 0, L"x"); }),
              L"Bad x (argument x, calling Move).");

    // Address ids count first sightings.
    DebugLog(L"", 0, 0, false, true);  // starts the numbering afresh
    const int objects[4] = {};
    // {address, remove, id}: removing answers 0; a new id is the current count, so it may
    // repeat one still held.
    const std::tuple<int, bool, unsigned int> steps[] = {
        {0, false, 0}, {1, false, 1}, {0, false, 0}, {2, false, 2},
        {3, true, 0},  {1, true, 0},  {3, false, 2}, {2, false, 2}};
    for (const auto& [index, remove, id] : steps) {
        EXPECT_EQ(GetAddressId(&objects[index], remove), id) << index;
    }
}

// Script objects and arrays.
typedef std::vector<std::wstring> Texts;

/// Opens Object's protected members to the tests.
struct TestObject : Object {
    TestObject(boost::shared_ptr<Class> scriptClass, const Value& value)
        : Object(std::move(scriptClass), value) {}
    TestObject(const std::wstring& scriptName, const Value& value) : Object(scriptName, value) {}
};

const boost::shared_ptr<Class> NoClass;

Texts ItemsOf(const IArray& array) {
    Texts items;
    for (long i = 0; i < array.Count(); ++i) {
        items.push_back(Read<std::wstring>(array.Item(i)));
    }
    return items;
}

TEST(ObjectTest, BindsToTheGivenClassTheClassOfTheValuesTypeOrTheExactScriptName) {
    const auto circleClass = RegisterClass<1>(L"Objects::Circle");
    const auto squareClass = RegisterClass<2>(L"Objects::Square");
    const Value circle = Make(TypeTag<1>());
    EXPECT_EQ(TestObject(squareClass, circle).GetClass(), squareClass);
    EXPECT_EQ(TestObject(NoClass, circle).GetClass(), circleClass);
    EXPECT_EQ(TestObject(L"Objects::Square", circle).GetClass(), squareClass);
    EXPECT_STREQ(TestObject(NoClass, Make(TypeTag<3>())).GetClassScriptName(true), L"");
    EXPECT_EQ(ScriptErrorText([&] { TestObject(L"objects::square", circle); }),
              L"Unknown class objects::square.");

    // Skipping hidden classes names the first visible class of the chain.
    RegisterClass<10>(L"Objects::Base");
    RegisterClass<11>(L"Objects::Middle", L"Objects::Base", true);
    const TestObject hidden(RegisterClass<12>(L"Objects::Leaf", L"Objects::Middle", true), Value());
    EXPECT_STREQ(hidden.GetClassScriptName(true), L"Objects::Base");
    EXPECT_STREQ(hidden.GetClassScriptName(false), L"Objects::Leaf");
    const TestObject root(RegisterClass<13>(L"Objects::Root", L"", true), Value());
    EXPECT_STREQ(root.GetClassScriptName(true), L"Objects::Root");
}

TEST(WrappedObjectInfoTest, RecordKeepsTheWrapperAndItsNativeObjectAlive) {
    struct Tracked {
        explicit Tracked(int& live) : live(live) { ++live; }
        ~Tracked() { --live; }
        int& live;
    };
    int live = 0;
    auto wrapper =
        boost::make_shared<TestObject>(NoClass, Value(boost::make_shared<Tracked>(live)));
    const boost::weak_ptr<IObject> watch = wrapper;
    {
        WrappedObjectInfo info(wrapper);
        wrapper.reset();
        // Copies of the record and of the wrapper share the wrapper and the value, not the record.
        { const WrappedObjectInfo copy(info); }
        EXPECT_EQ(info.GetWrapperObject()->GetWrappedObjectInfo(), &info);
        const TestObject copy(dynamic_cast<const TestObject&>(*info.GetWrapperObject()));
        EXPECT_EQ(copy.GetWrappedObjectInfo(), nullptr);
        EXPECT_EQ(live, 1);
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(live, 0);
}

TEST(WrappedObjectInfoTest, AssignmentCopiesTheFieldsAndLeavesTheWrappersInfoPointers) {
    const auto first = boost::make_shared<TestObject>(NoClass, Value());
    const auto second = boost::make_shared<TestObject>(NoClass, Value());
    WrappedObjectInfo assigned(first);
    WrappedObjectInfo source(second);
    int raw = 0;
    source.SetRawObjectPointer(&raw);
    assigned = source;
    EXPECT_EQ(assigned.GetWrapperObject(), second);
    EXPECT_EQ(assigned.GetRawObjectPointer(), &raw);
    EXPECT_EQ(first->GetWrappedObjectInfo(), &assigned);
    EXPECT_EQ(second->GetWrappedObjectInfo(), &source);
    first->SetWrappedObjectInfo(nullptr);  // the record dies first: its owner's part
}

TEST(ErrorsTest, MissingBodyAndMissingWrapperRaiseTableTexts) {
    std::vector<Value> arguments;
    EXPECT_EQ(
        ScriptErrorText([&] {
            MakeFunction(L"Draw", InstanceStyle, L"Shapes::Circle")->Invoke(Value(), arguments);
        }),
        L"Call to non-applicable function Shapes::Circle::Draw.");
    EXPECT_EQ(ScriptErrorText([] { WrappedObjectInfo(boost::shared_ptr<IObject>()); }),
              L"Invalid cast of null-pointer to expected type VelmorandScript::IObject.");
}

TEST(CollectionsTest, EditsStayWithinRangeAndTypeAndCopiesShareStorage) {
    auto texts = boost::make_shared<Texts>();
    RegisterArrayClass();
    Array items(boost::make_shared<StdVector<std::wstring>>(texts));
    const Value v = Make(std::wstring(L"v"));
    const struct {
        std::function<void()> edit;
        Texts expected;
    } rows[] = {
        {[&] { items.Add(v, true); }, {L"v", L"a", L"b"}},
        {[&] { items.Insert(-1, v); }, {L"v", L"a", L"b"}},
        {[&] { items.Insert(5, v); }, {L"a", L"b", L"v"}},
        {[&] { items.Delete(2); }, {L"a", L"b"}},
        {[&] { items.Replace(2, Value()); }, {L"a", L"b"}},  // not even read
        {[&] { items.Count(10); }, {L"a", L"b"}},
    };
    for (const auto& row : rows) {
        *texts = {L"a", L"b"};
        row.edit();
        EXPECT_EQ(ItemsOf(items), row.expected);
    }
    EXPECT_GE(texts->capacity(), 10u);
    EXPECT_THROW(items.Insert(0, Make(3)), ScriptException);

    // Copies share storage; the last one frees storage given by pointer.
    struct WatchedStorage : StdVector<std::wstring> {
        explicit WatchedStorage(bool& deleted)
            : StdVector(boost::make_shared<Texts>()), deleted(deleted) {}
        ~WatchedStorage() override { deleted = true; }
        bool& deleted;
    };
    bool deleted = false;
    {
        Array original(new WatchedStorage(deleted));
        Array copy(original);
        copy.Add(Make(std::wstring(L"a")), false);
        EXPECT_EQ(ItemsOf(original), Texts{L"a"});
        original.Clear();
        EXPECT_TRUE(copy.IsEmpty());
    }
    EXPECT_TRUE(deleted);
}

}  // namespace
