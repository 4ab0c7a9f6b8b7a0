#include "support/ClassTestHelpers.h"
#include "support/RecordingContext.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

// A module's own kind of deprecation, with a behaviour word of its choice.
class CustomDeprecation : public DeprecatedFunction {
public:
    explicit CustomDeprecation(int behaviour)
        : DeprecatedFunction(L"Area", L"Elsewhere", L"TestModule", StaticStyle, behaviour) {}

protected:
    std::wstring GenerateMessage(const std::wstring& className) const override {
        return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedGeneric, L"");
    }
};

std::wstring RaisedText(const DeprecatedFunction& function,
                        const boost::shared_ptr<IScriptContext>& context) {
    boost::shared_ptr<IFunction> reference;
    try {
        function.PreInvoke(context, L"Shape", reference);
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"<nothing raised>";
}

}  // namespace

TEST(DeprecatedFunctionTest, RenamedFunctionWarnsTheScript) {
    const auto renamed =
        boost::make_shared<DeprecatedRenamedFunction>(L"Old", L"Elsewhere", L"M", 0x2, L"New");
    EXPECT_EQ(renamed->GetStyle(), 0x202);
    EXPECT_FALSE(renamed->IsConst());
    EXPECT_STREQ(renamed->GetDeprecationType(), L"Renamed");

    const auto context = boost::make_shared<RecordingContext>();
    boost::shared_ptr<IFunction> reference = renamed;
    EXPECT_FALSE(renamed->PreInvoke(context, L"Shape", reference));
    EXPECT_EQ(reference, renamed);
    ASSERT_EQ(context->GetNotices().size(), 1u);
    EXPECT_EQ(context->GetNotices()[0].type, WarningEvent);
    EXPECT_EQ(context->GetNotices()[0].text,
              L"The API Shape::Old has been renamed to Shape::New, which will automatically be "
              L"called until the script is updated. Please refer to the documentation and update "
              L"your scripts to use the renamed API instead.");
    EXPECT_FALSE(renamed->PreInvoke(boost::shared_ptr<IScriptContext>(), L"Shape", reference));
    context->ThrowOnNotify(ScriptAbortException(L"stop"));
    EXPECT_THROW(renamed->PreInvoke(context, L"Shape", reference), ScriptAbortException);
}

TEST(DeprecatedFunctionTest, ReplacedAndRemovedFunctionsRaise) {
    const auto context = boost::make_shared<RecordingContext>();
    EXPECT_EQ(
        RaisedText(DeprecatedReplacedFunction(L"Old", L"", L"M", 0x1, L"NewA, NewB"), context),
        L"The API Shape::Old has been deprecated and replaced with the non-compatible API(s) "
        L"NewA, NewB. Please refer to the documentation and update your scripts to use the "
        L"new API(s) instead.");
    EXPECT_EQ(RaisedText(DeprecatedRemovedFunction(L"Gone", L"", L"M", 0x1, L"Unused"), context),
              L"The API Shape::Gone has been deprecated and removed. Please refer to the "
              L"documentation and update your scripts accordingly.");
    EXPECT_TRUE(context->GetNotices().empty());
}

TEST(DeprecatedFunctionTest, OnlyTheLowFourBitsOfTheBehaviourCount) {
    const auto context = boost::make_shared<RecordingContext>();
    boost::shared_ptr<IFunction> reference;
    EXPECT_TRUE(CustomDeprecation(1).PreInvoke(context, L"Shape", reference));
    EXPECT_FALSE(CustomDeprecation(0).PreInvoke(context, L"Shape", reference));
    EXPECT_FALSE(CustomDeprecation(3).PreInvoke(context, L"Shape", reference));
    EXPECT_TRUE(context->GetNotices().empty());
    const std::wstring generic =
        DeprecatedFunction::GenerateGenericDeprecationMessage(L"Shape", L"Area");
    EXPECT_EQ(generic,
              L"The API Shape::Area has been deprecated and may be removed without notice. Please "
              L"refer to the documentation and update your scripts accordingly.");
    EXPECT_EQ(RaisedText(CustomDeprecation(0x14), context), generic);
}

TEST(DeprecatedFunctionTest, RenamedCheckLooksForTheNewNameInTheChain) {
    const auto base = MakeClass<1>(L"DeprecationBase");
    const auto shape = MakeClass<2>(L"DeprecationShape", L"DeprecationBase");
    ClassRegistry::GetInstance().AddClass(base);
    ClassRegistry::GetInstance().AddClass(shape);
    shape->AddFunction(
        boost::make_shared<DeprecatedRenamedFunction>(L"Old", L"", L"M", 0x2, L"New"));
    try {
        ClassRegistry::GetInstance().CheckClasses();
        FAIL() << "a missing replacement passed the check";
    } catch (const ScriptException& error) {
        EXPECT_EQ(error.GetExceptionMessage(),
                  L"Non-existing replacement function New for deprecated function Old on class "
                  L"DeprecationShape.");
    }
    base->AddFunction(MakeFunction(L"New", PropertySetStyle));
    ClassRegistry::GetInstance().CheckClasses();

    try {
        DeprecatedRenamedFunction(L"Older", L"", L"M", 0x2, nullptr).Check(shape.get(), nullptr);
        FAIL() << "a missing new name passed the check";
    } catch (const ScriptException& error) {
        EXPECT_EQ(error.GetExceptionMessage(),
                  L"Non-existing replacement function <Not specified!> for deprecated function "
                  L"Older on class DeprecationShape.");
    }
}
