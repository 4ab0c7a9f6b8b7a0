#include <VelmorandScript/Values.h>

#include <gtest/gtest.h>

using namespace VelmorandScript;

namespace {

Value CreateSeven() {
    return Value(boost::make_shared<int>(7));
}

class NamedTypeInfo : public std::type_info {
public:
    explicit NamedTypeInfo(const char* name) : std::type_info(name) {}
};

}  // namespace

TEST(ValueFactoryTest, StartUpCreatorsMakeFreshSharedZeros) {
    ValueFactory& factory = ValueFactory::GetFactory();
    const Value first = factory.CreateObject(DataType(typeid(int)));
    const Value second = factory.CreateObject(DataType(typeid(int)));
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_EQ(first.GetType(), DataType(typeid(int)));
    EXPECT_TRUE(first.IsNumber());
    EXPECT_TRUE(first.IsInsideSmartPointer());
    EXPECT_EQ(*static_cast<int*>(first.GetValuePtr()), 0);
    EXPECT_NE(first.GetValuePtr(), second.GetValuePtr());

    const Value real = factory.CreateObject(DataType(typeid(double)));
    EXPECT_EQ(real.GetDecoratedTypeName(), L"boost::shared_ptr<double>");
    EXPECT_EQ(*static_cast<double*>(real.GetValuePtr()), 0.0);
}

TEST(ValueFactoryTest, FirstRegistrationWinsUntilRemoved) {
    ValueFactory& factory = ValueFactory::GetFactory();
    const DataType intType(typeid(int));
    EXPECT_FALSE(factory.AddCreator(intType, &CreateSeven));
    EXPECT_EQ(*static_cast<int*>(factory.CreateObject(intType).GetValuePtr()), 0);

    EXPECT_TRUE(factory.RemoveCreator(intType));
    EXPECT_FALSE(factory.RemoveCreator(intType));
    EXPECT_TRUE(factory.CreateObject(intType).IsEmpty());
    EXPECT_TRUE(factory.AddCreator(intType, &CreateSeven));
    // Another type_info object of the same name finds the same creator.
    const NamedTypeInfo otherInt(typeid(int).name());
    EXPECT_EQ(*static_cast<int*>(factory.CreateObject(DataType(otherInt)).GetValuePtr()), 7);
}

TEST(ValueFactoryTest, CopiesAreIndependent) {
    ValueFactory original;
    const DataType longType(typeid(long));
    ASSERT_TRUE(original.AddCreator(longType, &CreateSeven));
    ValueFactory copy(original);
    EXPECT_TRUE(copy.RemoveCreator(longType));
    EXPECT_FALSE(original.CreateObject(longType).IsEmpty());
    copy = original;
    copy = *&copy;
    EXPECT_FALSE(copy.AddCreator(longType, &CreateSeven));
}
