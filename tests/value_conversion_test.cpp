#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace VelmorandScript {
namespace {

using namespace Testing;

// The registries are process-wide: every test uses types of its own.
template <int N>
struct Tag {
    virtual ~Tag() = default;
    int via = 0;
};
template <int N>
struct DerivedTag : Tag<N> {};
struct Widget {
    virtual ~Widget() = default;
};

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

IScriptContext* g_lastContext = nullptr;

/// Converts to Tag<To> marked with `Via`, so that a test can tell routines apart.
template <int To, int Via = 0>
Value ConvertToTag(const Value&, boost::shared_ptr<IScriptContext> context) {
    g_lastContext = context.get();
    Tag<To> result;
    result.via = Via;
    return Make(result);
}

/// Wraps a copy of `value`: the WrapWith routine that wrapped it, or -1 when wrapping failed.
int WrapperOf(Value value) {
    return Registry().WrapValue({}, value) ? WrappedBy(value) : -1;
}

template <int From, int To>
void Register(ConversionRoutine routine = &ConvertToTag<To>) {
    Registry().RegisterDataConversion(TypeOf<Tag<From>>(), TypeOf<Tag<To>>(), routine);
}

TEST(ValueConversionTest, FirstRoutineConvertsInOneOrTwoStepsValueBoxesFailuresKeepTheValue) {
    const std::size_t before = Registry().GetConversionCount();
    Register<1, 2>(&ConvertToTag<2, 1>);
    Register<1, 2>(&ConvertToTag<2, 2>);
    EXPECT_EQ(Registry().GetConversionCount(), before + 1);
    EXPECT_FALSE(Registry().HasDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<1>>()));
    Value value = Make(Tag<1>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<2>>(), {}, value, true));
    EXPECT_EQ(Read<Tag<2>>(value).via, 1);

    // Value as the target boxes the value, unless a conversion to it is registered.
    Value boxed = Make(Tag<3>());
    const void* native = boxed.GetValuePtr();
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, boxed, true));
    EXPECT_EQ(Read<Value>(boxed).GetValuePtr(), native);
    Registry().RegisterDataConversion(TypeOf<Tag<4>>(), TypeOf<Value>(), &ConvertToTag<5>);
    Value registered = Make(Tag<4>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, registered, true));
    EXPECT_EQ(registered.GetType(), TypeOf<Tag<5>>());

    // A missing conversion reports false or throws, and keeps the value.
    const void* converted = value.GetValuePtr();
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, false));
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, true); }),
              L"No valid conversion from " + NameOf<Tag<2>>() + L" to " + NameOf<Tag<11>>());
    EXPECT_EQ(value.GetValuePtr(), converted);
    Value empty;
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, empty, true); }),
              L"No valid conversion from void to " + NameOf<Tag<11>>());

    // Two steps go through the first qualifying intermediate type; Tag<21> and Tag<22> both lead
    // from Tag<20> to Tag<23>.
    Register<20, 21>();
    Register<21, 23>(&ConvertToTag<23, 21>);
    Register<20, 22>();
    Register<22, 23>(&ConvertToTag<23, 22>);
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<21>>());
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<22>>());
    const auto context = TestScriptContext::Create();
    Value twoSteps = Make(Tag<20>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<23>>(), context, twoSteps, true));
    EXPECT_EQ(Read<Tag<23>>(twoSteps).via, TypeOf<Tag<21>>() < TypeOf<Tag<22>>() ? 21 : 22);
    EXPECT_EQ(g_lastContext, context.get());

    // Intermediate types are not chained: 23 -> 21 -> 22 -> 24 needs two of them.
    Register<23, 21>();
    Register<21, 22>();
    Register<22, 24>();
    Value chained = Make(Tag<23>());
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<24>>(), {}, chained, false));
}

TEST(ConversionRegistryTest, WrapperRoutinesForTypesAndCategoriesAndCopiesOwnTheirTables) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<30>>()), &WrapWith<1>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<DerivedTag<30>>()), nullptr);

    // A type of a category takes the category's routine of the moment, if there is one.
    const auto other = ConversionRegistry::OtherObjectCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(other, nullptr);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<31>>(), other);
    Registry().RegisterCategoricalObjectWrapperRoutine(other, &WrapWith<1>);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<32>>(), other);
    Registry().RegisterCategoricalObjectWrapperRoutine(other, &WrapWith<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<31>>()), nullptr);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<32>>()), &WrapWith<1>);

    // A copy converts with its own tables.
    StandardConversions::RegisterDataConversions();
    const long number = 7;
    Value value(&number);
    auto original = std::make_unique<ConversionRegistry>(Registry());
    ASSERT_TRUE(original->ConvertValue(TypeOf<double>(), {}, value, true));
    const ConversionRegistry copy(*original);
    // The sanitizer build catches a copy still using the lookups the original remembered.
    original.reset();
    value = Value(&number);
    ASSERT_TRUE(copy.ConvertValue(TypeOf<double>(), {}, value, true));
    EXPECT_EQ(Read<double>(value), 7.0);
}

TEST(ValueWrappingTest, TheWrapperIsChosenByDerivedTypeDeclaredTypeClassArrayOrConversion) {
    // The derived type's own wrapper wins; else the declared type's, cached for the derived type
    // so that a later registration for it does not take over.
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<40>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<40>>(), &WrapWith<2>);
    const DerivedTag<40> object;
    Value value(static_cast<const Tag<40>*>(&object), true);
    const auto context = TestScriptContext::Create();
    EXPECT_TRUE(Registry().WrapValue(context, value));
    EXPECT_EQ(WrappedBy(value), 2);
    EXPECT_EQ(Read<Wrapped>(value).original.GetValuePtr(), &object);
    EXPECT_EQ(Read<Wrapped>(value).context, context.get());
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<41>>(), &WrapWith<3>);
    const DerivedTag<41> other;
    EXPECT_EQ(WrapperOf(Value(static_cast<const Tag<41>*>(&other), true)), 3);
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<41>>(), &WrapWith<4>);
    EXPECT_EQ(WrapperOf(Value(&other, true)), 3);

    // Instances of a registered class get the generic routine of the moment, cached for the type.
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Widget>(), L"WrappingTest::Widget", nullptr, L"TestModule", false));
    const Widget widget;
    const auto slot = ConversionRegistry::ClassInstanceCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, nullptr);
    EXPECT_EQ(WrapperOf(Value(&widget, true)), -1);
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<8>);
    EXPECT_EQ(WrapperOf(Value(&widget, true)), 8);
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<9>);
    EXPECT_EQ(WrapperOf(Value(&widget, true)), 8);

    // Otherwise a conversion to a type with a wrapper, the first in type order.
    Register<43, 44>();
    Register<43, 45>();
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<44>>(), &WrapWith<11>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<45>>(), &WrapWith<12>);
    EXPECT_EQ(WrapperOf(Make(Tag<43>())), TypeOf<Tag<44>>() < TypeOf<Tag<45>>() ? 11 : 12);
    Value unknown = Make(Tag<46>());
    const void* native = unknown.GetValuePtr();
    EXPECT_FALSE(Registry().WrapValue({}, unknown));
    EXPECT_EQ(unknown.GetValuePtr(), native);

    // Vector values use only the array wrapper.
    const auto array = MakeEmptyArray();
    const Value original(static_cast<const IArray*>(array.get()));
    Registry().RegisterDataWrapperRoutine(TypeOf<Array>(), &WrapWith<5>);
    EXPECT_EQ(WrapperOf(original), -1);
    // Still no array wrapper: a conversion to a type with a wrapper is used.
    Registry().RegisterDataConversion(TypeOf<Array>(), TypeOf<Tag<42>>(), &ConvertToTag<42>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<42>>(), &WrapWith<6>);
    EXPECT_EQ(WrapperOf(original), 6);
    Registry().RegisterDataWrapperRoutine(TypeOf<IArray>(), &WrapWith<7>);
    EXPECT_EQ(WrapperOf(original), 7);
}

// Script contexts: calls back into the script with wrapped arguments, and notices.
struct Token {};        // wrapped for scripts as the text "token"
struct Unwrappable {};  // no wrapper routine applies to it

const IScriptContext* g_tokenWrapperContext = nullptr;

class ScriptContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WrapUnchanged<long, int, std::wstring>();
        ConversionRegistry::GetInstance().RegisterDataWrapperRoutine(
            DataType(typeid(Token)), [](const Value&, boost::shared_ptr<IScriptContext> context) {
                g_tokenWrapperContext = context.get();
                return Make(std::wstring(L"token"));
            });
    }

    void SetUp() override { context->PushScriptCall(boost::make_shared<TestScriptCall>(L"F")); }

    /// A script function that records its arguments and answers `results` (and `called`).
    ScriptFunction Answering(std::vector<Value> results, bool called = true) {
        return
            [this, results, called](const std::vector<Value>& arguments, std::vector<Value>& out) {
                received = arguments;
                out = results;
                return called;
            };
    }

    boost::shared_ptr<TestScriptContext> context = TestScriptContext::Create();
    std::vector<Value> received;
};

TEST_F(ScriptContextTest, CallsWrapEveryArgumentOnlyWithinACallInProgress) {
    const Value function = Make(Answering({Make(3L)}, false));
    const std::vector<Value> arguments{Make(Token()), Make(5L)};
    std::vector<Value> results{Make(7L)};
    // Outside any call, and with an argument no wrapper applies to, nothing is called.
    const auto idle = TestScriptContext::Create();
    EXPECT_FALSE(idle->CallScriptFunction(function, arguments, true, results));
    EXPECT_FALSE(
        context->CallScriptFunction(function, {Make(1L), Make(Unwrappable())}, true, results));
    EXPECT_TRUE(context->invokedFlags.empty());
    EXPECT_EQ(Read<long>(results.at(0)), 7L);

    EXPECT_FALSE(context->CallScriptFunction(function, arguments, true, results));
    EXPECT_EQ(context->invokedFlags, std::vector<bool>{true});
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Read<std::wstring>(received[0]), L"token");
    EXPECT_EQ(g_tokenWrapperContext, context.get());
    EXPECT_EQ(Read<long>(results.at(0)), 3L);

    // An empty frame is a call in progress too, and a pop without a push is an error. A copy
    // has the stack too, but is not owned by a shared pointer: it cannot wrap arguments.
    idle->PushScriptCall(nullptr);
    TestScriptContext copy(*idle);
    EXPECT_TRUE(idle->CallScriptFunction(Make(Answering({})), {}, false, results));
    idle->PopScriptCall();
    EXPECT_EQ(ScriptErrorText([&] { idle->PopScriptCall(); }),
              L"PopScriptCall was called with no script call in progress; every PopScriptCall "
              L"must match an earlier PushScriptCall.");
    EXPECT_THROW(copy.CallScriptFunction(function, {Make(1L)}, false, results),
                 boost::bad_weak_ptr);
}

TEST_F(ScriptContextTest, HandlerGetsTypeAndTextAndOnlyASingleLongZeroAborts) {
    EXPECT_FALSE(context->NotifyScript(L"nobody listens", WarningEvent));
    context->SetEventHandler(Answering({Make(0L)}));
    try {
        context->NotifyScript(L"Stop here.", WarningEvent);
        ADD_FAILURE() << "the handler's long 0 did not abort";
    } catch (const ScriptAbortException& abort) {
        EXPECT_EQ(abort.GetExceptionMessage(), L"Stop here.");
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Read<long>(received[0]), 1L);  // the type must be long
    EXPECT_EQ(Read<std::wstring>(received[1]), L"Stop here.");

    const struct {
        std::vector<Value> results;
        bool called;
    } accepted[] = {
        {{Make(0)}, true}, {{Make(0L), Make(0L)}, true}, {{}, true}, {{Make(0L)}, false}};
    for (const auto& row : accepted) {
        context->SetEventHandler(Answering(row.results, row.called));
        EXPECT_EQ(context->NotifyScript(L"text", WarningEvent), row.called);
    }
    context->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) -> bool {
        throw ScriptCancelException();
    });
    EXPECT_THROW(context->NotifyScript(L"text", WarningEvent), ScriptCancelException);
}

}  // namespace
}  // namespace VelmorandScript
