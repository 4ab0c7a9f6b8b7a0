#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <regex>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

typedef std::vector<std::wstring> Texts;

/// Opens Object's protected members to the tests.
struct TestObject : Object {
    TestObject(boost::shared_ptr<Class> scriptClass, const Value& value)
        : Object(std::move(scriptClass), value) {}
    TestObject(const std::wstring& scriptName, const Value& value) : Object(scriptName, value) {}
    using Object::GenerateNonApplicableFunctionCallError;
};

const boost::shared_ptr<Class> NoClass;

Texts ItemsOf(const IArray& array) {
    Texts items;
    for (long i = 0; i < array.Count(); ++i) {
        items.push_back(Read<std::wstring>(array.Item(i)));
    }
    return items;
}

}  // namespace

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
    EXPECT_EQ(ScriptErrorText([&] {
                  TestObject(NoClass, circle).GenerateNonApplicableFunctionCallError(L"Fly");
              }),
              L"Call to non-applicable function Fly.");

    // The dump shows the class, the wrapper's address id and a brief dump of the value.
    const TestObject wrapper(NoClass, circle);
    const std::wstring text = wrapper.Dump(false);
    EXPECT_TRUE(std::regex_match(
        std::string(text.begin(), text.end()),
        std::regex("\\[Objects::Circle ID=" + std::to_string(GetAddressId(&wrapper, false)) +
                   "\\]: -> \\[Value @ 0x[0-9a-f]+\\]")));

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

TEST(CollectionsTest, StdVectorEditsStayWithinRangeAndType) {
    auto texts = boost::make_shared<Texts>();
    const auto array = MakeEmptyArray();
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

    // The scripted object is the wrapper itself, with the flags of an array.
    const Value scripted = array->GetScriptedObject();
    EXPECT_TRUE(scripted.IsVector() && scripted.GetValuePtr() == static_cast<IArray*>(array.get()));
    EXPECT_EQ(array.use_count(), 1);
    EXPECT_STREQ(array->GetClassScriptName(false), L"VelmorandScript::Array");
}

TEST(CollectionsTest, CopiesShareStorageAndTheLastOneFreesStorageGivenByPointer) {
    RegisterArrayClass();
    struct WatchedStorage : StdVector<std::wstring> {
        explicit WatchedStorage(bool& deleted)
            : StdVector(boost::make_shared<Texts>()), deleted(deleted) {}
        ~WatchedStorage() override { deleted = true; }
        bool& deleted;
    };
    bool deleted = false;
    {
        Array array(new WatchedStorage(deleted));
        Array copy(array);
        copy.Add(Make(std::wstring(L"a")), false);
        EXPECT_EQ(ItemsOf(array), Texts{L"a"});
        array.Clear();
        EXPECT_TRUE(copy.IsEmpty());
    }
    EXPECT_TRUE(deleted);
}
