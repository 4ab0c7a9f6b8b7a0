#include <VelmorandScript/Classes.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <string>

using namespace VelmorandScript;

TEST(ArgumentTest, OnlyBit8MakesAnArgumentOptional) {
    const auto make = [](long style) {
        return Argument(DataType(typeid(int)), L"Number", L"count", style, Value(), L"");
    };
    EXPECT_TRUE(make(0x8).IsOptional());
    EXPECT_FALSE(make(0x7).IsOptional());
    EXPECT_FALSE(make(0x10).IsOptional());
    EXPECT_EQ(make(0x12345).GetStyle(), 0x12345);
}

TEST(ArgumentTest, CopiesShareTheDefaultValueAndKeepItAlive) {
    BoostSharedPtrArgument copy(DataType(typeid(int)), nullptr, nullptr, 0, Value(), nullptr);
    {
        const BoostSharedPtrArgument original(DataType(typeid(std::wstring)), L"String", L"title",
                                              0x9, Value(boost::make_shared<std::wstring>(L"x")),
                                              L"\"x\"");
        copy = original;
        EXPECT_EQ(copy.GetDefaultValue().GetValuePtr(), original.GetDefaultValue().GetValuePtr());
    }
    EXPECT_EQ(*static_cast<std::wstring*>(copy.GetDefaultValue().GetValuePtr()), L"x");
    EXPECT_EQ(copy.GetType(), DataType(typeid(std::wstring)));
    EXPECT_STREQ(copy.GetName(), L"title");
    EXPECT_TRUE(copy.IsOptional());
}
