#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

typedef std::vector<std::wstring> Texts;

Texts ItemsOf(const IArray& array) {
    Texts items;
    for (long i = 0; i < array.Count(); ++i) {
        items.push_back(Read<std::wstring>(array.Item(i)));
    }
    return items;
}

class CollectionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterArrayClass(); }
};

}  // namespace

TEST_F(CollectionsTest, StdVectorEditsStayWithinRangeAndType) {
    auto texts = boost::make_shared<Texts>();
    Array array(boost::make_shared<StdVector<std::wstring>>(texts));
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_TRUE(array.Item(0).IsEmpty());
    const Value v = Make(std::wstring(L"v"));
    const struct {
        std::function<void()> edit;
        Texts expected;
    } rows[] = {
        {[&] { array.Add(v, false); }, {L"a", L"b", L"v"}},
        {[&] { array.Add(v, true); }, {L"v", L"a", L"b"}},
        {[&] { array.Insert(-1, v); }, {L"v", L"a", L"b"}},
        {[&] { array.Insert(5, v); }, {L"a", L"b", L"v"}},
        {[&] { array.Insert(1, v); }, {L"a", L"v", L"b"}},
        {[&] { array.Delete(2); }, {L"a", L"b"}},
        {[&] { array.Delete(-1); }, {L"a", L"b"}},
        {[&] { array.Delete(0); }, {L"b"}},
        {[&] { array.Replace(2, Value()); }, {L"a", L"b"}},  // not even read
        {[&] { array.Replace(1, v); }, {L"a", L"v"}},
        {[&] { array.Count(10); }, {L"a", L"b"}},
        {[&] { array.Clear(); }, {}},
    };
    for (const auto& row : rows) {
        *texts = {L"a", L"b"};
        row.edit();
        EXPECT_EQ(ItemsOf(array), row.expected);
    }
    EXPECT_GE(texts->capacity(), 10u);
    EXPECT_THROW(array.Insert(0, Make(3)), ScriptException);
    EXPECT_EQ(array.Count(), 0);
}

TEST_F(CollectionsTest, ArrayOfArgumentsAcceptsItsOwnItemsBack) {
    auto arguments = boost::make_shared<std::vector<Argument>>();
    arguments->emplace_back(DataType(typeid(int)), L"int", L"width", 0x1, Value(), nullptr);
    arguments->emplace_back(DataType(typeid(double)), L"double", L"height", 0x8, Value(), nullptr);
    Array array(boost::make_shared<StdVector<Argument>>(arguments));
    array.Replace(0, array.Item(1));
    EXPECT_STREQ((*arguments)[0].GetName(), L"height");
    array.Add(array.Item(0), false);
    EXPECT_EQ(array.Count(), 3);
}

TEST_F(CollectionsTest, CopiesShareStorageAndTheLastOneFreesStorageGivenByPointer) {
    struct WatchedStorage : TestArrayValue {
        explicit WatchedStorage(bool& deleted) : deleted(deleted) {}
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

TEST_F(CollectionsTest, ScriptedObjectsPointAtTheWrapperWithCollectionFlags) {
    const auto array = boost::make_shared<Array>(boost::make_shared<TestArrayValue>());
    const Value arrayValue = array->GetScriptedObject();
    EXPECT_TRUE(arrayValue.IsIObject() && arrayValue.IsVector() && !arrayValue.IsMap());
    EXPECT_EQ(arrayValue.GetValuePtr(), static_cast<IArray*>(array.get()));
    EXPECT_EQ(arrayValue.GetDerivedType(), DataType(typeid(Array)));
    EXPECT_EQ(array.use_count(), 1);
    EXPECT_STREQ(array->GetClassScriptName(false), L"VelmorandScript::Array");

    const Hash hash(nullptr, Value());
    const Value hashValue = hash.GetScriptedObject();
    EXPECT_TRUE(hashValue.IsIObject() && hashValue.IsMap() && !hashValue.IsVector());
    EXPECT_EQ(hashValue.GetValuePtr(), static_cast<const IHash*>(&hash));
}
