#include "support/ClassTestHelpers.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

// A class without a base answers lookups from its own function table alone.
class FunctionTableTest : public ::testing::Test {
protected:
    boost::shared_ptr<IFunction> Find(const wchar_t* name, long mask) {
        return m_class->FindFunction(name, mask, boost::shared_ptr<IObject>());
    }
    boost::shared_ptr<Class> m_class = MakeClass<1>(L"TableShape");
};

}  // namespace

TEST_F(FunctionTableTest, FindsByAnyRequestedBitAndExactName) {
    const auto size = MakeFunction(L"Size", PropertyGetStyle);
    const auto both = MakeFunction(L"Both", StaticStyle | InstanceStyle);
    const auto onWrapper = MakeFunction(L"Draw", 0x802);
    const auto everyStyle = MakeFunction(L"Any", StyleMask);
    for (const auto& function : {size, both, onWrapper, everyStyle}) {
        m_class->AddFunction(function);
    }
    EXPECT_EQ(Find(L"Size", 0x8), size);
    EXPECT_FALSE(Find(L"Size", 0x2));
    EXPECT_FALSE(Find(L"size", 0x8));
    EXPECT_EQ(Find(L"Both", 0x1), both);
    EXPECT_EQ(Find(L"Both", 0x2), both);
    EXPECT_EQ(Find(L"Both", 0x3), both);
    EXPECT_EQ(onWrapper->GetStyle(), 0x2);
    EXPECT_TRUE(onWrapper->IsImplementedOnWrapper());
    EXPECT_EQ(Find(L"Draw", 0x2), onWrapper);
    EXPECT_EQ(Find(L"Any", 0x400), everyStyle);
    EXPECT_FALSE(Find(L"Any", 0x800));
    EXPECT_FALSE(Find(L"Any", 0));
}

TEST_F(FunctionTableTest, LowestRequestedBitWins) {
    const auto instance = MakeFunction(L"Run", InstanceStyle);
    const auto staticRun = MakeFunction(L"Run", StaticStyle);
    m_class->AddFunction(instance);
    m_class->AddFunction(staticRun);
    EXPECT_EQ(Find(L"Run", 0x3), staticRun);
    EXPECT_EQ(Find(L"Run", 0x2), instance);

    // Only the first entry of the name whose style is not below the bit is examined.
    const auto get = MakeFunction(L"Value", 0x8);
    const auto command = MakeFunction(L"Value", 0x21);
    m_class->AddFunction(command);
    m_class->AddFunction(get);
    EXPECT_EQ(Find(L"Value", 0x20), command);
    EXPECT_EQ(Find(L"Value", 0x8), get);
    EXPECT_FALSE(Find(L"Value", 0x1));
}

TEST_F(FunctionTableTest, EquivalentKeyReplacesTheFunctionButKeepsTheKey) {
    const auto second = MakeFunction(L"Move", 0x6);
    m_class->AddFunction(MakeFunction(L"Move", 0x2));
    m_class->AddFunction(second);
    FunctionMap all;
    m_class->GetAllFunctions(all);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.begin()->first, FunctionKey(L"Move", 0x2));
    EXPECT_EQ(all.begin()->second, second);
}

TEST(FunctionTest, InvokeOnANullObjectNamesBothTypes) {
    // A descriptor that insists on an int object, as a module's own descriptor would.
    class IntFunction : public Function {
    public:
        IntFunction() : Function(L"Twice", L"", L"TestModule", true, InstanceStyle) {}
        void Invoke(const Value& object, std::vector<Value>&) const override {
            CheckNonNullObject(object.GetValuePtr(), object, DataType(typeid(int)));
        }
    };
    std::vector<Value> arguments;
    const int five = 5;
    IntFunction().Invoke(Value(&five), arguments);
    try {
        IntFunction().Invoke(Value(static_cast<const long*>(nullptr), true), arguments);
        FAIL() << "a null object was accepted";
    } catch (const ScriptException& error) {
        EXPECT_EQ(error.GetExceptionMessage(),
                  L"Function Twice was invoked on an object of an incompatible type long, not "
                  L"the expected type int.");
    }
}
