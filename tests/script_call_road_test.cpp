// The whole road of a script call, played by a small host: registration by an application
// module, lookup, deprecation, argument conversion with its notices and errors, invocation,
// callbacks into the script and the wrapping of results.

#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <string>
#include <vector>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

// ---- The application module: shapes, always held as shared_ptr<Shape> ----

int g_liveShapes = 0;

struct Shape {
    Shape(std::wstring name, double size) : name(std::move(name)), size(size) { ++g_liveShapes; }
    virtual ~Shape() { --g_liveShapes; }
    virtual double Area() const { return size * size; }
    std::wstring name;
    double size;
};

struct Circle : Shape {
    explicit Circle(double radius) : Shape(L"circle", radius) {}
    double Area() const override { return 3.0 * size * size; }
};

struct Square : Shape {
    explicit Square(int side) : Shape(L"square", side) {}
};

/// The shapes the static function All lists.
std::vector<boost::shared_ptr<Shape>> g_shelf;

Shape& Self(const Value& object) {
    return *CastTo<Shape>(&object, true);
}

Argument In(const std::type_info& type, const wchar_t* name) {
    return Argument(DataType(type), L"", name, InputArgument, Value(), nullptr);
}

Argument Out(const std::type_info& type, const wchar_t* scriptType = L"") {
    return Argument(DataType(type), scriptType, L"result", ReturnArgument, Value(), nullptr);
}

void Define(const boost::shared_ptr<Class>& owner, const wchar_t* name, int style,
            NativeFunction::Body body, const std::vector<Argument>& arguments) {
    auto function = boost::make_shared<NativeFunction>(name, owner->GetScriptName(), L"Road", false,
                                                       style, std::move(body));
    for (const Argument& argument : arguments) {
        function->AddArgument(argument);
    }
    owner->AddFunction(function);
}

template <class T, class Size>
void DefineConstructor(const boost::shared_ptr<Class>& owner, const wchar_t* name) {
    Define(owner, name, ConstructorStyle,
           [](const Value&, std::vector<Value>& args) {
               args[1] = Value(boost::shared_ptr<Shape>(new T(GetAs<Size>(args[0]))));
           },
           {In(typeid(Size), L"size"), Out(typeid(Shape))});
}

void RegisterModule() {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    WrapUnchanged<long, double, std::wstring>();
    conversions.RegisterDataWrapperRoutine(
        DataType(typeid(IArray)), [](const Value& value, boost::shared_ptr<IScriptContext>) {
            return Value(CastTo<IArray>(&value, true)->shared_from_this());
        });
    conversions.RegisterCategoricalObjectWrapperRoutine(
        ConversionRegistry::ClassInstanceCategory,
        [](const Value& value, boost::shared_ptr<IScriptContext>) {
            return Value(
                ClassRegistry::GetInstance().FindClassByCppType(value)->CreateWrapper(value));
        });
    RegisterArrayClass();

    const auto makeClass = [](const std::type_info& type, const wchar_t* name,
                              const wchar_t* base) {
        return boost::make_shared<Class>(DataType(type), name, base, L"Road", false);
    };
    const auto shape = makeClass(typeid(Shape), L"Road::Shape", nullptr);
    const auto circle = makeClass(typeid(Circle), L"Road::Circle", L"Road::Shape");
    const auto square = makeClass(typeid(Square), L"Road::Square", L"Road::Shape");
    Define(shape, L"Area", InstanceStyle,
           [](const Value& self, std::vector<Value>& args) { args[0] = Make(Self(self).Area()); },
           {Out(typeid(double))});
    Define(shape, L"Name", PropertyGetStyle,
           [](const Value& self, std::vector<Value>& args) { args[0] = Make(Self(self).name); },
           {Out(typeid(std::wstring))});
    Define(shape, L"All", StaticStyle,
           [](const Value&, std::vector<Value>& args) {
               auto items = boost::make_shared<TestArrayValue>();
               for (const auto& shelved : g_shelf) {
                   items->Add(Value(shelved), false);
               }
               args[0] = Value(boost::shared_ptr<const IArray>(boost::make_shared<Array>(items)));
           },
           {Out(typeid(IArray))});
    DefineConstructor<Circle, double>(circle, L"Circle");
    // Calls the script's callback with the circle and its radius; returns what it answered.
    Define(circle, L"Notify", InstanceStyle,
           [](const Value& self, std::vector<Value>& args) {
               std::vector<Value> answers;
               if (CastTo<IScriptContext>(&args[1], true)
                       ->CallScriptFunction(Read<Value>(args[0]), {self, Make(Self(self).size)},
                                            false, answers)) {
                   args[2] = answers.at(0);
               }
           },
           {In(typeid(Value), L"callback"), In(typeid(IScriptContext), L"context"),
            Out(typeid(long))});
    DefineConstructor<Square, int>(square, L"Square");
    Define(
        square, L"Scale", InstanceStyle,
        [](const Value& self, std::vector<Value>& args) { Self(self).size *= GetAs<int>(args[0]); },
        {In(typeid(int), L"factor"), Out(typeid(void), L"void")});
    square->AddFunction(boost::make_shared<DeprecatedRenamedFunction>(
        L"Enlarge", L"Road::Square", L"Road", InstanceStyle, L"Scale"));
    for (const auto& added : {square, circle, shape}) {
        ClassRegistry::GetInstance().AddClass(added);
    }
    ClassRegistry::GetInstance().CheckClasses();
}

/// The wrapper a script-side object value holds.
const Object& WrapperOf(const Value& value) {
    return dynamic_cast<const Object&>(*CastTo<IObject>(&value, true));
}

class ScriptCallRoadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterModule(); }

    void SetUp() override {
        context->SetEventHandler(
            [this](const std::vector<Value>& arguments, std::vector<Value>& results) {
                notices.push_back(Read<std::wstring>(arguments.at(1)));
                if (abortOnNotice) {
                    results.push_back(Make(0L));
                }
                return true;
            });
    }

    // ---- The script host ----

    /// Calls the function of that name and one of the styles of `mask` in class "Road::<shape>"
    /// on `object` (a script-side wrapper value, or empty) and returns the wrapped result.
    Value Call(const std::wstring& shape, const std::wstring& name, long mask, const Value& object,
               const std::vector<Value>& scriptArguments, bool byNumber = true) {
        const TestScriptCall frame(L"Road::" + shape, name, byNumber);
        // Every dispatched call is bracketed by a push and a pop, also when it fails.
        struct Bracket {
            TestScriptContext& context;
            ~Bracket() { context.PopScriptCall(); }
        };
        context->PushScriptCall(boost::make_shared<TestScriptCall>(frame));
        const Bracket bracket{*context};

        const auto scriptClass =
            ClassRegistry::GetInstance().FindClassByScriptName(L"Road::" + shape);
        const boost::shared_ptr<IObject> wrapper =
            object.IsEmpty() ? nullptr : CastTo<IObject>(&object, true)->shared_from_this();
        auto function = scriptClass->FindFunction(name, mask, wrapper);
        if (function && (function->GetStyle() & DeprecatedStyle) != 0) {
            const auto deprecated = boost::dynamic_pointer_cast<DeprecatedFunction>(function);
            if (!deprecated->PreInvoke(context, frame.GetCalledClassName(), function)) {
                function = scriptClass->FindFunction(deprecated->GetDelegateFunctionNames(), mask,
                                                     wrapper);
            }
        }
        if (!function) {
            throw ScriptException(L"No function " + name + L".");
        }

        std::vector<Value> arguments;
        unsigned int next = 0;
        std::size_t resultPosition = 0;
        for (const Argument& descriptor : function->GetArguments()) {
            if ((descriptor.GetStyle() & ReturnArgument) != 0) {
                resultPosition = arguments.size();
                arguments.emplace_back();
            } else if (descriptor.GetType() == DataType(typeid(IScriptContext))) {
                arguments.emplace_back(boost::shared_ptr<IScriptContext>(context));
            } else {
                arguments.push_back(scriptArguments.at(next));
                try {
                    ConversionRegistry::GetInstance().ConvertValue(descriptor.GetType(), context,
                                                                   arguments.back(), true);
                } catch (const ScriptAbortException&) {
                    throw;
                } catch (const ScriptException& error) {
                    GenerateArgumentError(error.GetExceptionMessage(), &frame, next,
                                          descriptor.GetName());
                }
                ++next;
            }
        }
        function->Invoke(wrapper ? wrapper->GetScriptedObject() : Value(), arguments);
        Value result = arguments[resultPosition];
        if (!result.IsEmpty() && !ConversionRegistry::GetInstance().WrapValue(context, result)) {
            throw ScriptException(L"The result of " + name + L" cannot reach the script.");
        }
        return result;
    }

    Value New(const std::wstring& shape, const Value& size) {
        return Call(shape, shape, ConstructorStyle, Value(), {size});
    }

    boost::shared_ptr<TestScriptContext> context = TestScriptContext::Create();
    std::vector<std::wstring> notices;
    bool abortOnNotice = false;
};

}  // namespace

TEST_F(ScriptCallRoadTest, ConvertsArgumentsInvokesAndWrapsNumbersTextsAndObjects) {
    // Area and Name are found by style through the base class Road::Shape. A long converts to
    // double silently; a double to int with a notice the handler receives.
    const Value circle = New(L"Circle", Make(2L));
    EXPECT_STREQ(WrapperOf(circle).GetClassScriptName(false), L"Road::Circle");
    EXPECT_EQ(Read<double>(Call(L"Circle", L"Area", InstanceStyle, circle, {})), 12.0);
    EXPECT_EQ(Read<std::wstring>(Call(L"Circle", L"Name", PropertyGetStyle, circle, {})),
              L"circle");
    EXPECT_THROW(Call(L"Circle", L"Area", StaticStyle, circle, {}), ScriptException);
    EXPECT_TRUE(notices.empty());
    const Value square = New(L"Square", Make(2.5));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].find(L"Loss of precision in conversion from double to int"), 0u);
    EXPECT_NE(notices[0].find(L"2.5"), std::wstring::npos);
    EXPECT_EQ(Read<double>(Call(L"Square", L"Area", InstanceStyle, square, {})), 4.0);

    // A handler that answers long 0 aborts the call before anything is built.
    abortOnNotice = true;
    const int live = g_liveShapes;
    EXPECT_THROW(New(L"Square", Make(1.5)), ScriptAbortException);
    EXPECT_EQ(g_liveShapes, live);

    const Value big = Make(std::wstring(L"big"));
    EXPECT_EQ(ScriptErrorText([&] { Call(L"Square", L"Scale", 0x2, square, {big}); }),
              L"Failed to convert the string value big to int. (argument #1, calling Scale).");
    EXPECT_EQ(ScriptErrorText([&] { Call(L"Square", L"Scale", 0x2, square, {big}, false); }),
              L"Failed to convert the string value big to int. (argument factor, calling Scale).");
    EXPECT_FALSE(context->GetScriptCall());
}

TEST_F(ScriptCallRoadTest, RenamedFunctionWarnsAndRunsUnderItsNewName) {
    const Value square = New(L"Square", Make(2));
    Call(L"Square", L"Enlarge", InstanceStyle, square, {Make(3)});
    EXPECT_EQ(notices, std::vector<std::wstring>{
                           L"The API Road::Square::Enlarge has been renamed to "
                           L"Road::Square::Scale, which will automatically be called until the "
                           L"script is updated. Please refer to the documentation and update your "
                           L"scripts to use the renamed API instead."});
    EXPECT_EQ(Self(WrapperOf(square).GetScriptedObject()).size, 6.0);
}

TEST_F(ScriptCallRoadTest, CallbackGetsWrappedArgumentsAndTheObjectDiesWithItsLastHolder) {
    const int before = g_liveShapes;
    Value circle = New(L"Circle", Make(1.5));
    std::vector<Value> received;
    const Value callback = MakeScriptFunction(
        [&received](const std::vector<Value>& arguments, std::vector<Value>& results) {
            received = arguments;
            results.push_back(Make(42L));
            return true;
        });
    EXPECT_EQ(Read<long>(Call(L"Circle", L"Notify", InstanceStyle, circle, {callback})), 42L);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_STREQ(WrapperOf(received[0]).GetClassScriptName(false), L"Road::Circle");
    EXPECT_NE(&WrapperOf(received[0]), &WrapperOf(circle));  // every wrapping makes a new one
    EXPECT_EQ(WrapperOf(received[0]).GetScriptedObject().GetValuePtr(),
              WrapperOf(circle).GetScriptedObject().GetValuePtr());
    EXPECT_EQ(Read<double>(received[1]), 1.5);

    // The wrapper passed to the callback, which the host still records, holds the circle too.
    circle = Value();
    received.clear();
    EXPECT_EQ(g_liveShapes, before + 1);
    context->ClearInvokedCalls();
    EXPECT_EQ(g_liveShapes, before);
}

TEST_F(ScriptCallRoadTest, ArrayOfObjectsReachesTheScriptAsWrappers) {
    g_shelf = {boost::make_shared<Circle>(1.0), boost::make_shared<Square>(3)};
    const Value all = Call(L"Shape", L"All", StaticStyle, Value(), {});
    const auto& array = dynamic_cast<const IArray&>(WrapperOf(all));
    EXPECT_STREQ(array.GetClassScriptName(false), L"VelmorandScript::Array");
    ASSERT_EQ(array.Count(), 2);
    const wchar_t* expected[] = {L"Road::Circle", L"Road::Square"};
    for (long i = 0; i < 2; ++i) {
        Value item = array.Item(i);
        ASSERT_TRUE(ConversionRegistry::GetInstance().WrapValue(context, item));
        EXPECT_STREQ(WrapperOf(item).GetClassScriptName(false), expected[i]);
        EXPECT_EQ(WrapperOf(item).GetScriptedObject().GetValuePtr(), g_shelf[i].get());
    }
    g_shelf.clear();
}
