#include "support/ScriptErrorText.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <regex>
#include <string>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;

namespace {

/// Opens Object's protected constructors to the tests.
class TestObject : public Object {
public:
    TestObject(boost::shared_ptr<Class> scriptClass, const Value& value)
        : Object(std::move(scriptClass), value) {}
    TestObject(const std::wstring& scriptName, const Value& value) : Object(scriptName, value) {}
    using Object::GenerateNonApplicableFunctionCallError;
};

const boost::shared_ptr<Class> NoClass;

struct Circle {
    double radius;
};
struct Square {
    double side;
};
struct Unregistered {};

/// Counts live instances, to observe when a wrapper releases its native object.
struct Tracked {
    explicit Tracked(int& live) : live(live) { ++live; }
    ~Tracked() { --live; }
    int& live;
};

boost::shared_ptr<Class> Register(const DataType& type, const wchar_t* name,
                                  const wchar_t* baseName = nullptr, bool hidden = false) {
    auto scriptClass = boost::make_shared<Class>(type, name, baseName, L"ObjectTests", hidden);
    ClassRegistry::GetInstance().AddClass(scriptClass);
    return scriptClass;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

TEST(ObjectTest, BindsToGivenClassOrToTheClassOfTheValuesType) {
    const auto circleClass = Register(DataType(typeid(Circle)), L"ObjectTests::Circle");
    const Circle circle{2.0};

    const auto unregisteredClass = boost::make_shared<Class>(
        DataType(typeid(Square)), L"ObjectTests::Loose", nullptr, L"ObjectTests", false);
    TestObject given(unregisteredClass, Value(&circle));
    EXPECT_EQ(unregisteredClass, given.GetClass());

    TestObject byType(NoClass, Value(&circle));
    EXPECT_EQ(circleClass, byType.GetClass());
    EXPECT_STREQ(L"ObjectTests::Circle", byType.GetClassScriptName(true));

    const Unregistered nothing;
    TestObject classless(NoClass, Value(&nothing));
    EXPECT_FALSE(classless.GetClass());
    EXPECT_STREQ(L"", classless.GetClassScriptName(false));
    EXPECT_STREQ(L"", classless.GetClassScriptName(true));

    // The wrapper does not keep an unregistered class alive.
    auto dropped = boost::make_shared<Class>(DataType(typeid(Square)), L"ObjectTests::Dropped",
                                             nullptr, L"ObjectTests", false);
    TestObject orphan(dropped, Value(&nothing));
    dropped.reset();
    EXPECT_FALSE(orphan.GetClass());
    EXPECT_STREQ(L"", orphan.GetClassScriptName(false));
}

TEST(ObjectTest, BindsByScriptNameExactlyOrRaisesUnknownClass) {
    const auto squareClass = Register(DataType(typeid(Square)), L"ObjectTests::Square");
    const Square square{1.0};

    TestObject byName(L"ObjectTests::Square", Value(&square));
    EXPECT_EQ(squareClass, byName.GetClass());

    EXPECT_EQ(L"Unknown class objecttests::square.", ScriptErrorText([&] {
                  TestObject wrongCase(L"objecttests::square", Value(&square));
              }));
    EXPECT_EQ(L"Unknown class .", ScriptErrorText([&] { TestObject none(L"", Value(&square)); }));
}

TEST(ObjectTest, NamesTheFirstVisibleClassOfTheBaseChainWhenSkippingHiddenOnes) {
    struct Base {};
    struct HiddenMiddle {};
    struct HiddenLeaf {};
    struct HiddenRoot {};
    Register(DataType(typeid(Base)), L"ObjectTests::Base");
    const auto middle = Register(DataType(typeid(HiddenMiddle)), L"ObjectTests::HiddenMiddle",
                                 L"ObjectTests::Base", true);
    const auto leaf = Register(DataType(typeid(HiddenLeaf)), L"ObjectTests::HiddenLeaf",
                               L"ObjectTests::HiddenMiddle", true);
    const auto root = Register(DataType(typeid(HiddenRoot)), L"ObjectTests::HiddenRoot", L"", true);
    const auto orphan = Register(DataType(typeid(Tracked)), L"ObjectTests::HiddenOrphan",
                                 L"ObjectTests::NoSuchBase", true);

    TestObject onMiddle(middle, Value());
    EXPECT_STREQ(L"ObjectTests::Base", onMiddle.GetClassScriptName(true));
    EXPECT_STREQ(L"ObjectTests::HiddenMiddle", onMiddle.GetClassScriptName(false));

    TestObject onLeaf(leaf, Value());
    EXPECT_STREQ(L"ObjectTests::Base", onLeaf.GetClassScriptName(true));
    EXPECT_STREQ(L"ObjectTests::HiddenLeaf", onLeaf.GetClassScriptName(false));

    TestObject onRoot(root, Value());
    EXPECT_STREQ(L"ObjectTests::HiddenRoot", onRoot.GetClassScriptName(true));
    EXPECT_STREQ(L"ObjectTests::HiddenRoot", onRoot.GetClassScriptName(false));

    TestObject onOrphan(orphan, Value());
    EXPECT_EQ(
        L"Base class ObjectTests::NoSuchBase of class ObjectTests::HiddenOrphan has not been "
        L"defined.",
        ScriptErrorText([&] { onOrphan.GetClassScriptName(true); }));
    EXPECT_STREQ(L"ObjectTests::HiddenOrphan", onOrphan.GetClassScriptName(false));
}

TEST(ObjectTest, DumpShowsClassAddressIdAndBriefValue) {
    struct Dumped {};
    struct DumpedHidden {};
    Register(DataType(typeid(Dumped)), L"ObjectTests::Dumped");
    const auto hidden = Register(DataType(typeid(DumpedHidden)), L"ObjectTests::DumpedHidden",
                                 L"ObjectTests::Dumped", true);
    const Dumped dumped;
    TestObject wrapper(NoClass, Value(&dumped));

    const std::wstring text = wrapper.Dump(true);
    const unsigned int id = GetAddressId(&wrapper, false);
    const std::regex pattern("\\[ObjectTests::Dumped ID=" + std::to_string(id) +
                             "\\]: -> \\[Value @ 0x[0-9a-f]+\\]");
    EXPECT_TRUE(std::regex_match(Narrow(text), pattern)) << Narrow(text);
    EXPECT_EQ(text, wrapper.Dump(false));

    // The own name of a hidden class, and the empty name without a class.
    TestObject onHidden(hidden, Value());
    EXPECT_EQ(0u, Narrow(onHidden.Dump(true)).find("[ObjectTests::DumpedHidden ID="));
    const Unregistered nothing;
    TestObject classless(NoClass, Value(&nothing));
    EXPECT_EQ(0u, Narrow(classless.Dump(true)).find("[ ID="));
}

TEST(ObjectTest, NonApplicableFunctionErrorNamesTheFunction) {
    TestObject wrapper(NoClass, Value());
    EXPECT_EQ(L"Call to non-applicable function Resize.",
              ScriptErrorText([&] { wrapper.GenerateNonApplicableFunctionCallError(L"Resize"); }));
}

TEST(ObjectTest, CopiesShareTheValueButNotTheInfoRecord) {
    int live = 0;
    auto native = boost::make_shared<Tracked>(live);
    auto wrapper = boost::make_shared<TestObject>(NoClass, Value(native));
    WrappedObjectInfo info(wrapper);

    TestObject copy(*wrapper);
    EXPECT_EQ(native.get(), copy.GetScriptedObject().GetValuePtr());
    EXPECT_EQ(nullptr, copy.GetWrappedObjectInfo());

    TestObject other(NoClass, Value());
    *wrapper = other;
    EXPECT_TRUE(wrapper->GetScriptedObject().IsEmpty());
    EXPECT_EQ(&info, wrapper->GetWrappedObjectInfo());
}

TEST(WrappedObjectInfoTest, RegistersWithItsWrapperAndCarriesTheOwnersPointer) {
    auto wrapper = boost::make_shared<TestObject>(NoClass, Value());
    WrappedObjectInfo info(wrapper);
    EXPECT_EQ(&info, wrapper->GetWrappedObjectInfo());
    EXPECT_EQ(boost::shared_ptr<IObject>(wrapper), info.GetWrapperObject());
    EXPECT_EQ(nullptr, info.GetRawObjectPointer());

    int owned = 0;
    info.SetRawObjectPointer(&owned);
    EXPECT_EQ(&owned, info.GetRawObjectPointer());

    {
        WrappedObjectInfo copy(info);
        EXPECT_EQ(info.GetWrapperObject(), copy.GetWrapperObject());
        EXPECT_EQ(&owned, copy.GetRawObjectPointer());
        EXPECT_EQ(&info, wrapper->GetWrappedObjectInfo());
    }
    // The copy was never registered, so its end leaves the registration alone.
    EXPECT_EQ(&info, wrapper->GetWrappedObjectInfo());

    EXPECT_THROW(WrappedObjectInfo(boost::shared_ptr<IObject>()), ScriptException);
}

TEST(WrappedObjectInfoTest, ReleasingTheRecordClearsTheWrappersLinkAndFreesWhatItOwned) {
    int live = 0;
    auto kept = boost::make_shared<TestObject>(NoClass, Value());
    { WrappedObjectInfo info(kept); }
    EXPECT_EQ(nullptr, kept->GetWrappedObjectInfo());

    // Assigning another wrapper releases the first one's registration too.
    auto second = boost::make_shared<TestObject>(NoClass, Value());
    WrappedObjectInfo reassigned(kept);
    reassigned = WrappedObjectInfo(second);
    EXPECT_EQ(nullptr, kept->GetWrappedObjectInfo());
    EXPECT_EQ(second, reassigned.GetWrapperObject());

    // The last owner of an otherwise unreferenced wrapper frees it and its native object.
    boost::weak_ptr<IObject> watch;
    {
        auto native = boost::make_shared<Tracked>(live);
        WrappedObjectInfo owner(boost::make_shared<TestObject>(NoClass, Value(native)));
        watch = owner.GetWrapperObject();
        native.reset();
        EXPECT_EQ(1, live);
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(0, live);
}

TEST(CreateWrapperTest, MakesANewWrapperOfTheClassOnEachCall) {
    struct Wrapped {};
    const auto wrappedClass = Register(DataType(typeid(Wrapped)), L"ObjectTests::Wrapped");
    const Wrapped instance;
    const Value value(&instance, true);

    const boost::shared_ptr<IObject> first = wrappedClass->CreateWrapper(value);
    const boost::shared_ptr<IObject> second = wrappedClass->CreateWrapper(value);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    for (const auto& wrapper : {first, second}) {
        const auto* object = dynamic_cast<const Object*>(wrapper.get());
        ASSERT_NE(nullptr, object);
        EXPECT_EQ(wrappedClass, object->GetClass());
        EXPECT_EQ(&instance, wrapper->GetScriptedObject().GetValuePtr());
        EXPECT_EQ(wrapper, wrapper->shared_from_this());
    }

    Class unowned(DataType(typeid(Wrapped)), L"ObjectTests::Unowned", nullptr, L"ObjectTests",
                  false);
    EXPECT_THROW(unowned.CreateWrapper(value), boost::bad_weak_ptr);
}
