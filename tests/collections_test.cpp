#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <functional>
#include <string>
#include <vector>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestArrayValue;
using VelmorandScript::Testing::TestHashValue;

namespace {

typedef std::vector<std::wstring> Texts;

class CollectionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Testing::RegisterArrayClass(); }

    /// An Array over a native vector of texts, which the test keeps to look at.
    static boost::shared_ptr<Array> MakeArray(const boost::shared_ptr<Texts>& texts) {
        return boost::make_shared<Array>(boost::make_shared<StdVector<std::wstring>>(texts));
    }

    static std::wstring TextOf(const Value& value) { return *CastTo<std::wstring>(&value, true); }

    static Texts ItemsOf(const IArray& array) {
        Texts items;
        for (long i = 0; i < array.Count(); ++i) {
            items.push_back(TextOf(array.Item(i)));
        }
        return items;
    }

    static Value Text(const wchar_t* text) {
        const std::wstring copy(text);
        return Value(&copy);
    }
};

/// Array storage that reports when it is deleted.
class WatchedStorage : public TestArrayValue {
public:
    explicit WatchedStorage(bool& deleted) : m_deleted(deleted) {}
    ~WatchedStorage() override { m_deleted = true; }

private:
    bool& m_deleted;
};

}  // namespace

TEST_F(CollectionsTest, StdVectorInsertsDeletesAndReplacesWithinRange) {
    auto texts = boost::make_shared<Texts>();
    const auto array = MakeArray(texts);
    EXPECT_EQ(0, array->Count());
    EXPECT_TRUE(array->IsEmpty());
    EXPECT_TRUE(array->Item(0).IsEmpty());

    const Value v = Text(L"v");
    const struct {
        std::function<void()> edit;
        Texts expected;
    } cases[] = {
        {[&] { array->Add(v, false); }, {L"a", L"b", L"v"}},
        {[&] { array->Add(v, true); }, {L"v", L"a", L"b"}},
        {[&] { array->Insert(-1, v); }, {L"v", L"a", L"b"}},
        {[&] { array->Insert(5, v); }, {L"a", L"b", L"v"}},
        {[&] { array->Insert(1, v); }, {L"a", L"v", L"b"}},
        {[&] { array->Delete(2); }, {L"a", L"b"}},
        {[&] { array->Delete(-1); }, {L"a", L"b"}},
        {[&] { array->Delete(0); }, {L"b"}},
        {[&] { array->Replace(2, Value()); }, {L"a", L"b"}},  // not even read
        {[&] { array->Replace(-1, v); }, {L"a", L"b"}},
        {[&] { array->Replace(1, v); }, {L"a", L"v"}},
        {[&] { array->Count(10); }, {L"a", L"b"}},
        {[&] { array->Clear(); }, {}},
    };
    for (const auto& each : cases) {
        *texts = {L"a", L"b"};
        each.edit();
        EXPECT_EQ(each.expected, ItemsOf(*array));
    }
    EXPECT_GE(texts->capacity(), 10u);
    EXPECT_TRUE(array->Item(2).IsEmpty());

    // Items are copies: changing one does not reach the vector.
    *texts = {L"a"};
    const Value first = array->Item(0);
    *CastTo<std::wstring>(&first, true) = L"changed";
    EXPECT_EQ(L"a", (*texts)[0]);
}

TEST_F(CollectionsTest, StdVectorRejectsItemsOfAnotherTypeAndStaysUnchanged) {
    auto texts = boost::make_shared<Texts>(Texts{L"a"});
    const auto array = MakeArray(texts);
    const int number = 3;
    const std::wstring* nothing = nullptr;

    EXPECT_EQ(L"Bad cast from type int to type String.",
              ScriptErrorText([&] { array->Add(Value(&number), false); }));
    EXPECT_EQ(L"Bad cast from empty value to type String.",
              ScriptErrorText([&] { array->Insert(0, Value()); }));
    EXPECT_EQ(L"Invalid cast of null-pointer to expected type String.",
              ScriptErrorText([&] { array->Replace(0, Value(nothing, true)); }));
    EXPECT_EQ((Texts{L"a"}), *texts);

    // Storage without a vector behaves like the default bodies.
    Array hollow(boost::make_shared<StdVector<std::wstring>>(boost::shared_ptr<Texts>()));
    hollow.Add(Text(L"x"), true);
    hollow.Insert(0, Text(L"x"));
    hollow.Count(5);
    EXPECT_EQ(0, hollow.Count());
    EXPECT_TRUE(hollow.IsEmpty());
}

TEST_F(CollectionsTest, ArrayOfArgumentsAcceptsItsOwnItemsBack) {
    auto arguments = boost::make_shared<std::vector<Argument>>();
    arguments->emplace_back(DataType(typeid(int)), L"int", L"width", InputArgument, Value(),
                            nullptr);
    arguments->emplace_back(DataType(typeid(double)), L"double", L"height", OptionalArgument,
                            Value(), nullptr);
    Array array(boost::make_shared<StdVector<Argument>>(arguments));

    array.Replace(0, array.Item(1));
    EXPECT_STREQ(L"height", (*arguments)[0].GetName());
    EXPECT_EQ(OptionalArgument, (*arguments)[0].GetStyle());
    array.Add(array.Item(0), false);
    EXPECT_EQ(3, array.Count());
}

TEST_F(CollectionsTest, ArrayForwardsToItsStorageAndCopiesShareIt) {
    auto storage = boost::make_shared<TestArrayValue>();
    Array array(storage);
    EXPECT_EQ(storage, array.GetScriptedArray());

    array.Add(Text(L"b"), false);
    array.Add(Text(L"a"), true);
    array.Insert(9, Text(L"c"));
    EXPECT_EQ((Texts{L"a", L"b", L"c"}), ItemsOf(array));
    array.Replace(1, Text(L"B"));
    array.Delete(0);
    EXPECT_EQ((Texts{L"B", L"c"}), ItemsOf(array));

    Array copy(array);
    copy.Add(Text(L"d"), false);
    EXPECT_EQ(3, array.Count());
    EXPECT_EQ(storage, copy.GetScriptedArray());
    array.Clear();
    EXPECT_TRUE(copy.IsEmpty());

    // Without storage every operation is harmless.
    Array empty{boost::shared_ptr<IArrayValue>()};
    empty.Add(Text(L"x"), false);
    empty.Insert(0, Text(L"x"));
    empty.Replace(0, Text(L"x"));
    empty.Delete(0);
    empty.Count(4);
    empty.Clear();
    EXPECT_EQ(0, empty.Count());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(empty.Item(0).IsEmpty());
}

TEST_F(CollectionsTest, ArrayOwnsStorageGivenByPlainPointer) {
    bool deleted = false;
    {
        Array first(new WatchedStorage(deleted));
        { Array copy(first); }
        EXPECT_FALSE(deleted);
    }
    EXPECT_TRUE(deleted);
}

TEST_F(CollectionsTest, ScriptedObjectsPointAtTheWrapperWithCollectionFlags) {
    struct HashHost {};
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        DataType(typeid(HashHost)), L"CollectionTests::Hash", nullptr, L"CollectionTests", false));

    const auto array = boost::make_shared<Array>(boost::make_shared<TestArrayValue>());
    const Value arrayValue = array->GetScriptedObject();
    EXPECT_TRUE(arrayValue.IsIObject());
    EXPECT_TRUE(arrayValue.IsVector());
    EXPECT_FALSE(arrayValue.IsMap());
    EXPECT_EQ(static_cast<IArray*>(array.get()), arrayValue.GetValuePtr());
    EXPECT_EQ(DataType(typeid(IArray)), arrayValue.GetType());
    EXPECT_EQ(DataType(typeid(Array)), arrayValue.GetDerivedType());
    EXPECT_EQ(1, array.use_count());
    EXPECT_STREQ(L"VelmorandScript::Array", array->GetClassScriptName(false));
    EXPECT_EQ(0u, array->Dump(true).find(L"[VelmorandScript::Array ID="));

    TestHashValue storage;
    const HashHost host;
    Hash hash(&storage, Value(&host));
    const Value hashValue = hash.GetScriptedObject();
    EXPECT_TRUE(hashValue.IsIObject());
    EXPECT_TRUE(hashValue.IsMap());
    EXPECT_FALSE(hashValue.IsVector());
    EXPECT_EQ(static_cast<IHash*>(&hash), hashValue.GetValuePtr());
    EXPECT_STREQ(L"CollectionTests::Hash", hash.GetClassScriptName(false));
}

TEST_F(CollectionsTest, HashForwardsToStorageItDoesNotOwn) {
    TestHashValue storage;
    {
        Hash hash(&storage, Value());
        hash.Add(L"b", Text(L"2"));
        hash.Insert(L"a", Text(L"1"));
        hash.Replace(L"b", Text(L"two"));
        EXPECT_EQ(2, hash.Count());
        EXPECT_FALSE(hash.IsEmpty());
        EXPECT_TRUE(hash.Exists(L"a"));
        EXPECT_EQ(L"a", hash.FirstKey());
        EXPECT_EQ(L"b", hash.NextKey(L"a"));
        EXPECT_EQ(L"two", TextOf(hash.Item(L"b")));

        Hash copy(hash);
        copy.Delete(L"a");
        EXPECT_FALSE(hash.Exists(L"a"));
    }
    EXPECT_EQ(1, storage.Count());
    Hash again(&storage, Value());
    again.Clear();
    EXPECT_TRUE(storage.IsEmpty());
}

namespace {

class DefaultHashValue : public IHashValue {
public:
    void Add(const std::wstring& key, const Value& item) override { IHashValue::Add(key, item); }
    void Clear() override { IHashValue::Clear(); }
    long Count() const override { return IHashValue::Count(); }
    void Delete(const std::wstring& key) override { IHashValue::Delete(key); }
    bool Exists(const std::wstring& key) const override { return IHashValue::Exists(key); }
    std::wstring FirstKey() const override { return IHashValue::FirstKey(); }
    void Insert(const std::wstring&, const Value&) override {}
    bool IsEmpty() const override { return true; }
    Value Item(const std::wstring&) const override { return Value(); }
    std::wstring NextKey(const std::wstring& key) const override {
        return IHashValue::NextKey(key);
    }
    void Replace(const std::wstring& key, const Value& item) override {
        IHashValue::Replace(key, item);
    }
};

}  // namespace

TEST_F(CollectionsTest, HashStorageDefaultsReportNoKeys) {
    DefaultHashValue hashValue;
    hashValue.Add(L"k", Text(L"x"));
    hashValue.Replace(L"k", Text(L"x"));
    hashValue.Delete(L"k");
    hashValue.Clear();
    EXPECT_EQ(0, hashValue.Count());
    EXPECT_FALSE(hashValue.Exists(L"k"));
    EXPECT_EQ(L"", hashValue.FirstKey());
    EXPECT_EQ(L"", hashValue.NextKey(L"k"));
}
