#include <VelmorandScript/Values.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using VelmorandScript::DataType;

namespace {

/// A second type_info object under a name of our choosing, as another module would have one.
class NamedTypeInfo : public std::type_info {
public:
    explicit NamedTypeInfo(const char* name) : std::type_info(name) {}
};

struct LocalType {};

}  // namespace

TEST(DataTypeTest, NamesAreReadableWithTheWideStringAsString) {
    EXPECT_EQ(DataType(typeid(void)).GetName(), L"void");
    EXPECT_EQ(DataType(typeid(long)).GetName(), L"long");
    EXPECT_EQ(DataType(typeid(unsigned int)).GetName(), L"unsigned int");
    EXPECT_EQ(DataType(typeid(char)).GetName(), L"char");
    EXPECT_EQ(DataType(typeid(std::wstring)).GetName(), L"String");
    EXPECT_EQ(DataType(typeid(const std::wstring*)).GetName(), L"String const*");
    EXPECT_EQ(DataType(typeid(std::map<std::wstring, std::wstring>)).GetName(),
              L"std::map<String, String, std::less<String>, "
              L"std::allocator<std::pair<String const, String> > >");
    EXPECT_EQ(DataType(typeid(std::map<std::wstring, int>)).GetName(),
              L"std::map<String, int, std::less<String>, "
              L"std::allocator<std::pair<String const, int> > >");
    // Types of internal linkage carry a marker in their run-time name that is not shown.
    EXPECT_EQ(DataType(typeid(LocalType)).GetName(), L"(anonymous namespace)::LocalType");
}

TEST(DataTypeTest, IdentityIsByRunTimeName) {
    const NamedTypeInfo otherLong(typeid(long).name());
    const DataType native(typeid(long));
    const DataType foreign(otherLong);
    EXPECT_EQ(native.Compare(foreign), 0);
    EXPECT_EQ(native.Compare(native), 0);

    std::map<DataType, int> registry;
    registry.emplace(native, 1);
    EXPECT_FALSE(registry.emplace(foreign, 2).second);
    // Both share one name-cache entry.
    EXPECT_EQ(&native.GetNameRef(), &foreign.GetNameRef());
    EXPECT_EQ(foreign.GetName(), L"long");
}

TEST(DataTypeTest, OrderIsByUnsignedBytesWithPrefixFirst) {
    const NamedTypeInfo shorter("Ab"), longer("Abc"), high("\xC3"), low("z");
    EXPECT_EQ(DataType(shorter).Compare(DataType(longer)), -1);
    EXPECT_EQ(DataType(longer).Compare(DataType(shorter)), 1);
    EXPECT_EQ(DataType(low).Compare(DataType(high)), -1);
    EXPECT_TRUE(DataType(low) < DataType(high));
    EXPECT_TRUE(DataType(low) != DataType(high));
}

TEST(DataTypeTest, CopiesCarryTheBuiltName) {
    DataType original(typeid(std::vector<int>));
    const std::wstring& name = original.GetNameRef();
    DataType copy(original);
    EXPECT_EQ(&copy.GetNameRef(), &name);

    DataType assigned(typeid(int));
    assigned = original;
    EXPECT_EQ(&assigned.GetNameRef(), &name);
    assigned = *&assigned;
    EXPECT_EQ(assigned, original);
    EXPECT_EQ(assigned.GetName(), L"std::vector<int, std::allocator<int> >");
}
