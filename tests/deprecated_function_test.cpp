#include "support/TestHost.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

// A module's own kind of deprecation, with a behaviour word of its choice.
struct CustomDeprecation : DeprecatedFunction {
    explicit CustomDeprecation(int behaviour)
        : DeprecatedFunction(L"Area", L"Elsewhere", L"TestModule", StaticStyle, behaviour) {}
    std::wstring GenerateMessage(const std::wstring& className) const override {
        return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedGeneric, L"");
    }
};

}  // namespace

TEST(DeprecatedFunctionTest, BehaviourWordChoosesBetweenNothingAWarningAndAnError) {
    const std::wstring generic =
        DeprecatedFunction::GenerateGenericDeprecationMessage(L"Shape", L"Area");
    EXPECT_EQ(generic,
              L"The API Shape::Area has been deprecated and may be removed without notice. Please "
              L"refer to the documentation and update your scripts accordingly.");
    const DeprecatedRenamedFunction renamed(L"Old", L"Elsewhere", L"M", 0x2, L"New");
    EXPECT_EQ(renamed.GetStyle(), 0x202);
    const DeprecatedReplacedFunction replaced(L"Old", L"", L"M", 0x1, L"NewA, NewB");
    const DeprecatedRemovedFunction removed(L"Gone", L"", L"M", 0x1, L"Unused");
    const CustomDeprecation passes(1), ignored(0), alsoIgnored(3), raisesGeneric(0x14);
    const struct {
        const DeprecatedFunction& function;
        std::wstring outcome;  // what PreInvoke returned, or the text it raised
    } rows[] = {
        {passes, L"true"},
        {ignored, L"false"},
        {alsoIgnored, L"false"},
        {renamed, L"false"},
        {raisesGeneric, generic},
        {replaced,
         L"The API Shape::Old has been deprecated and replaced with the non-compatible API(s) "
         L"NewA, NewB. Please refer to the documentation and update your scripts to use the new "
         L"API(s) instead."},
        {removed,
         L"The API Shape::Gone has been deprecated and removed. Please refer to the "
         L"documentation and update your scripts accordingly."},
    };
    const auto context = boost::make_shared<RecordingContext>();
    for (const auto& row : rows) {
        boost::shared_ptr<IFunction> reference;
        std::wstring outcome;
        const std::wstring raised = ScriptErrorText([&] {
            outcome = row.function.PreInvoke(context, L"Shape", reference) ? L"true" : L"false";
        });
        EXPECT_EQ(outcome.empty() ? raised : outcome, row.outcome) << row.function.GetBehaviour();
        EXPECT_FALSE(reference);
    }
    // Only the renamed function warned the script.
    ASSERT_EQ(context->notices.size(), 1u);
    EXPECT_EQ(context->types[0], WarningEvent);
    EXPECT_EQ(context->notices[0],
              L"The API Shape::Old has been renamed to Shape::New, which will automatically be "
              L"called until the script is updated. Please refer to the documentation and update "
              L"your scripts to use the renamed API instead.");
    context->throwOnNotify = std::make_exception_ptr(ScriptAbortException(L"stop"));
    boost::shared_ptr<IFunction> reference;
    EXPECT_THROW(renamed.PreInvoke(context, L"Shape", reference), ScriptAbortException);
}

TEST(DeprecatedFunctionTest, RenamedCheckLooksForTheNewNameInTheChain) {
    const auto base = RegisterClass<1>(L"DeprecationBase");
    const auto shape = RegisterClass<2>(L"DeprecationShape", L"DeprecationBase");
    shape->AddFunction(
        boost::make_shared<DeprecatedRenamedFunction>(L"Old", L"", L"M", 0x2, L"New"));
    EXPECT_EQ(ScriptErrorText([] { ClassRegistry::GetInstance().CheckClasses(); }),
              L"Non-existing replacement function New for deprecated function Old on class "
              L"DeprecationShape.");
    base->AddFunction(MakeFunction(L"New", PropertySetStyle));
    ClassRegistry::GetInstance().CheckClasses();
    // Without a new name the check fails too, with a placeholder for the name.
    EXPECT_NE(ScriptErrorText([&] {
                  DeprecatedRenamedFunction(L"Older", L"", L"M", 0x2, nullptr)
                      .Check(shape.get(), nullptr);
              }).find(L"for deprecated function Older on class DeprecationShape."),
              std::wstring::npos);
}
