#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"

#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>

#include <regex>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

/// Opens Object's protected constructors to the tests.
struct TestObject : Object {
    TestObject(boost::shared_ptr<Class> scriptClass, const Value& value)
        : Object(std::move(scriptClass), value) {}
    TestObject(const std::wstring& scriptName, const Value& value) : Object(scriptName, value) {}
};

const boost::shared_ptr<Class> NoClass;

}  // namespace

TEST(ObjectTest, BindsToTheGivenClassTheClassOfTheValuesTypeOrTheExactScriptName) {
    const auto circleClass = RegisterClass<1>(L"Objects::Circle");
    const auto squareClass = RegisterClass<2>(L"Objects::Square");
    const TypeTag<1> circle;
    const TypeTag<3> unregistered;
    EXPECT_EQ(TestObject(squareClass, Value(&circle)).GetClass(), squareClass);
    EXPECT_EQ(TestObject(NoClass, Value(&circle)).GetClass(), circleClass);
    EXPECT_EQ(TestObject(L"Objects::Square", Value(&circle)).GetClass(), squareClass);
    EXPECT_FALSE(TestObject(NoClass, Value(&unregistered)).GetClass());
    EXPECT_STREQ(TestObject(NoClass, Value(&unregistered)).GetClassScriptName(true), L"");
    EXPECT_EQ(ScriptErrorText([&] { TestObject(L"objects::square", Value(&circle)); }),
              L"Unknown class objects::square.");
}

TEST(ObjectTest, SkippingHiddenClassesNamesTheFirstVisibleClassOfTheChain) {
    RegisterClass<10>(L"Objects::Base");
    const struct {
        boost::shared_ptr<Class> hidden;
        const wchar_t* visibleName;
    } rows[] = {
        {RegisterClass<11>(L"Objects::Middle", L"Objects::Base", true), L"Objects::Base"},
        {RegisterClass<12>(L"Objects::Leaf", L"Objects::Middle", true), L"Objects::Base"},
        {RegisterClass<13>(L"Objects::Root", L"", true), L"Objects::Root"},
    };
    for (const auto& row : rows) {
        const TestObject wrapper(row.hidden, Value());
        EXPECT_STREQ(wrapper.GetClassScriptName(true), row.visibleName);
        EXPECT_STREQ(wrapper.GetClassScriptName(false), row.hidden->GetScriptName());
    }
}

TEST(ObjectTest, DumpShowsClassAddressIdAndBriefValue) {
    RegisterClass<20>(L"Objects::Dumped");
    const TypeTag<20> dumped;
    const TestObject wrapper(NoClass, Value(&dumped));
    const std::wstring text = wrapper.Dump(true);
    const std::regex pattern(
        "\\[Objects::Dumped ID=" + std::to_string(GetAddressId(&wrapper, false)) +
        "\\]: -> \\[Value @ 0x[0-9a-f]+\\]");
    EXPECT_TRUE(std::regex_match(std::string(text.begin(), text.end()), pattern));
    EXPECT_EQ(wrapper.Dump(false), text);
}

TEST(WrappedObjectInfoTest, RecordKeepsTheWrapperAndItsNativeObjectAlive) {
    // Counts live instances, to observe when the native object is released.
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
        EXPECT_EQ(info.GetWrapperObject()->GetWrappedObjectInfo(), &info);
        EXPECT_EQ(info.GetRawObjectPointer(), nullptr);
        info.SetRawObjectPointer(&live);
        {
            // A copy shares the wrapper and the pointer but never registers itself.
            const WrappedObjectInfo copy(info);
            EXPECT_EQ(copy.GetWrapperObject(), info.GetWrapperObject());
            EXPECT_EQ(copy.GetRawObjectPointer(), &live);
        }
        EXPECT_EQ(info.GetWrapperObject()->GetWrappedObjectInfo(), &info);
        // Wrapper copies share the value but not the record.
        const TestObject copy(dynamic_cast<const TestObject&>(*info.GetWrapperObject()));
        EXPECT_EQ(copy.GetWrappedObjectInfo(), nullptr);
        EXPECT_EQ(live, 1);
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(live, 0);
    EXPECT_THROW(WrappedObjectInfo(boost::shared_ptr<IObject>()), ScriptException);
}
