#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <string>
#include <vector>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;

namespace {

struct TypeA {};
struct TypeB {};
struct Typeb {};
struct TypeLate {};

boost::shared_ptr<Class> MakeClass(const DataType& type, const wchar_t* name,
                                   const wchar_t* baseName = nullptr) {
    return boost::make_shared<Class>(type, name, baseName, L"ListingTests", false);
}

boost::shared_ptr<IFunction> MakeFunction(const wchar_t* name, const wchar_t* className,
                                          int style) {
    return boost::make_shared<NativeFunction>(name, className, L"ListingTests", false, style,
                                              [](const Value&, std::vector<Value>&) {});
}

/// Array storage that reports when it is deleted.
class WatchedStorage : public Testing::TestArrayValue {
public:
    explicit WatchedStorage(bool& deleted) : m_deleted(deleted) {}
    ~WatchedStorage() override { m_deleted = true; }

private:
    bool& m_deleted;
};

}  // namespace

// Must run before anything in the process registers "VelmorandScript::Array".
TEST(ListingsTest, RegisteredClassesNeedTheArrayClassThenFollowScriptNameOrder) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    if (registry.FindClassByScriptName(L"VelmorandScript::Array")) {
        GTEST_SKIP() << "the array class was registered by an earlier test of this process";
    }
    EXPECT_EQ(L"Unknown class VelmorandScript::Array.",
              ScriptErrorText([&] { registry.GetRegisteredClasses(); }));
    bool deleted = false;
    EXPECT_EQ(L"Unknown class VelmorandScript::Array.",
              ScriptErrorText([&] { Array array(new WatchedStorage(deleted)); }));
    EXPECT_TRUE(deleted);

    // Script names order by code unit: upper case before lower case.
    registry.AddClass(MakeClass(DataType(typeid(Typeb)), L"ListingTests::b"));
    registry.AddClass(MakeClass(DataType(typeid(TypeA)), L"ListingTests::a"));
    registry.AddClass(MakeClass(DataType(typeid(TypeB)), L"ListingTests::B"));
    Testing::RegisterArrayClass();

    const boost::shared_ptr<const IArray> listing = registry.GetRegisteredClasses();
    ASSERT_TRUE(listing);
    ASSERT_EQ(static_cast<long>(registry.GetClasses().size()), listing->Count());
    long position = 0;
    for (const auto& entry : registry.GetClasses()) {
        const Value item = listing->Item(position++);
        EXPECT_TRUE(item.IsInsideSmartPointer());
        EXPECT_EQ(entry.second.get(), item.GetValuePtr()) << position;
    }
    std::vector<std::wstring> names;
    for (long i = 0; i < listing->Count(); ++i) {
        const Value item = listing->Item(i);
        const std::wstring name = CastTo<Class>(&item, true)->GetScriptName();
        if (name.rfind(L"ListingTests::", 0) == 0) {
            names.push_back(name);
        }
    }
    EXPECT_EQ(
        (std::vector<std::wstring>{L"ListingTests::B", L"ListingTests::a", L"ListingTests::b"}),
        names);

    // A listing is a snapshot of the registry.
    registry.AddClass(MakeClass(DataType(typeid(TypeLate)), L"ListingTests::Late"));
    EXPECT_EQ(static_cast<long>(registry.GetClasses().size()) - 1, listing->Count());
    EXPECT_EQ(static_cast<long>(registry.GetClasses().size()),
              registry.GetRegisteredClasses()->Count());
}

TEST(ListingsTest, ClassFunctionsListTheBaseChainInKeyOrderAsSnapshot) {
    struct Base {};
    struct Derived {};
    struct Broken {};
    Testing::RegisterArrayClass();
    ClassRegistry& registry = ClassRegistry::GetInstance();
    const auto base = MakeClass(DataType(typeid(Base)), L"ListingTests::Base");
    const auto derived =
        MakeClass(DataType(typeid(Derived)), L"ListingTests::Derived", L"ListingTests::Base");
    registry.AddClass(base);
    registry.AddClass(derived);

    const auto stop = MakeFunction(L"Stop", L"ListingTests::Base", InstanceStyle);
    const auto baseRun = MakeFunction(L"Run", L"ListingTests::Base", InstanceStyle);
    const auto area = MakeFunction(L"Area", L"ListingTests::Derived", InstanceStyle);
    const auto staticRun = MakeFunction(L"Run", L"ListingTests::Derived", StaticStyle);
    base->AddFunction(stop);
    base->AddFunction(baseRun);
    derived->AddFunction(area);
    derived->AddFunction(staticRun);

    const boost::shared_ptr<const IArray> listing = derived->GetClassFunctions();
    const std::vector<boost::shared_ptr<IFunction>> expected{area, staticRun, baseRun, stop};
    ASSERT_EQ(static_cast<long>(expected.size()), listing->Count());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Value item = listing->Item(static_cast<long>(i));
        EXPECT_EQ(DataType(typeid(IFunction)), item.GetType());
        EXPECT_EQ(expected[i].get(), item.GetValuePtr()) << i;
    }

    derived->AddFunction(MakeFunction(L"Zoom", L"ListingTests::Derived", InstanceStyle));
    EXPECT_EQ(4, listing->Count());
    EXPECT_EQ(5, derived->GetClassFunctions()->Count());
    EXPECT_EQ(2, base->GetClassFunctions()->Count());

    const auto broken =
        MakeClass(DataType(typeid(Broken)), L"ListingTests::Broken", L"ListingTests::Missing");
    EXPECT_EQ(
        L"Base class ListingTests::Missing of class ListingTests::Broken has not been "
        L"defined.",
        ScriptErrorText([&] { broken->GetClassFunctions(); }));
}

TEST(ListingsTest, FunctionArgumentsLeaveOutVoidReturnValues) {
    Testing::RegisterArrayClass();
    const auto function = boost::make_shared<NativeFunction>(
        L"Resize", L"ListingTests::Derived", L"ListingTests", false, InstanceStyle,
        [](const Value&, std::vector<Value>&) {});
    const DataType intType(typeid(int));
    function->AddArgument(Argument(intType, L"int", L"width", InputArgument, Value(), nullptr));
    function->AddArgument(
        Argument(DataType(typeid(void)), L"Void", L"result", ReturnArgument, Value(), nullptr));
    function->AddArgument(Argument(intType, L"int", L"height", OptionalArgument, Value(), nullptr));
    // Kept: a return value of another type, "void" outside a return value, no script type.
    function->AddArgument(Argument(intType, L"int", L"old", ReturnArgument, Value(), nullptr));
    function->AddArgument(Argument(intType, L"VOID", L"input", InputArgument, Value(), nullptr));
    function->AddArgument(Argument(intType, nullptr, L"untyped", ReturnArgument, Value(), nullptr));
    function->AddArgument(Argument(intType, L"voids", L"longer", ReturnArgument, Value(), nullptr));

    const boost::shared_ptr<const IArray> listing = function->GetFunctionArguments();
    std::vector<std::wstring> names;
    for (long i = 0; i < listing->Count(); ++i) {
        const Value item = listing->Item(i);
        ASSERT_FALSE(item.IsInsideSmartPointer());
        names.push_back(CastTo<Argument>(&item, true)->GetName());
    }
    EXPECT_EQ(
        (std::vector<std::wstring>{L"width", L"height", L"old", L"input", L"untyped", L"longer"}),
        names);

    function->AddArgument(Argument(intType, L"int", L"later", InputArgument, Value(), nullptr));
    EXPECT_EQ(6, listing->Count());
}
