// The whole road of a script call, played by a small host: registration by an application
// module, lookup, deprecation, argument conversion with its notices and errors, invocation,
// callbacks into the script and the wrapping of results.

#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <string>
#include <vector>

using namespace VelmorandScript;
using VelmorandScript::Testing::MakeScriptFunction;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestScriptCall;
using VelmorandScript::Testing::TestScriptContext;

namespace {

// ---- The application module -------------------------------------------------------------

int g_liveShapes = 0;

struct Shape {
    explicit Shape(std::wstring name) : name(std::move(name)) { ++g_liveShapes; }
    Shape(const Shape& other) : name(other.name) { ++g_liveShapes; }
    virtual ~Shape() { --g_liveShapes; }
    virtual double Area() const = 0;
    std::wstring name;
};

struct Circle : Shape {
    explicit Circle(double radius) : Shape(L"circle"), radius(radius) {}
    double Area() const override { return 3.0 * radius * radius; }
    double radius;
};

struct Square : Shape {
    explicit Square(int side) : Shape(L"square"), side(side) {}
    double Area() const override { return static_cast<double>(side) * side; }
    int side;
};

/// The shapes the static function All lists.
std::vector<boost::shared_ptr<Shape>> g_shelf;

/// The native object behind an object value, whichever shape type it was made as.
Shape* ShapeOf(const Value& object) {
    if (object.GetType() == DataType(typeid(Circle))) {
        return CastTo<Circle>(&object, true);
    }
    if (object.GetType() == DataType(typeid(Square))) {
        return CastTo<Square>(&object, true);
    }
    return CastTo<Shape>(&object, true);
}

Value Unchanged(const Value& value, boost::shared_ptr<IScriptContext>) {
    return value;
}

Value WrapClassInstance(const Value& value, boost::shared_ptr<IScriptContext>) {
    return Value(ClassRegistry::GetInstance().FindClassByCppType(value)->CreateWrapper(value));
}

Value WrapArray(const Value& value, boost::shared_ptr<IScriptContext>) {
    return Value(CastTo<IArray>(&value, true)->shared_from_this());
}

Argument Input(const std::type_info& type, const wchar_t* scriptType, const wchar_t* name) {
    return Argument(DataType(type), scriptType, name, InputArgument, Value(), nullptr);
}

Argument Result(const std::type_info& type, const wchar_t* scriptType) {
    return Argument(DataType(type), scriptType, L"result", ReturnArgument, Value(), nullptr);
}

boost::shared_ptr<NativeFunction> Define(const boost::shared_ptr<Class>& owner, const wchar_t* name,
                                         int style, NativeFunction::Body body,
                                         const std::vector<Argument>& arguments) {
    auto function = boost::make_shared<NativeFunction>(name, owner->GetScriptName(), L"Road", false,
                                                       style, std::move(body));
    for (const Argument& argument : arguments) {
        function->AddArgument(argument);
    }
    owner->AddFunction(function);
    return function;
}

void RegisterModule() {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    conversions.RegisterDataWrapperRoutine(DataType(typeid(long)), &Unchanged);
    conversions.RegisterDataWrapperRoutine(DataType(typeid(double)), &Unchanged);
    conversions.RegisterDataWrapperRoutine(DataType(typeid(std::wstring)), &Unchanged);
    conversions.RegisterDataWrapperRoutine(DataType(typeid(IArray)), &WrapArray);
    conversions.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                        &WrapClassInstance);
    Testing::RegisterArrayClass();

    const auto shape =
        boost::make_shared<Class>(DataType(typeid(Shape)), L"Road::Shape", nullptr, L"Road", false);
    const auto circle = boost::make_shared<Class>(DataType(typeid(Circle)), L"Road::Circle",
                                                  L"Road::Shape", L"Road", false);
    const auto square = boost::make_shared<Class>(DataType(typeid(Square)), L"Road::Square",
                                                  L"Road::Shape", L"Road", false);

    Define(shape, L"Area", InstanceStyle,
           [](const Value& self, std::vector<Value>& arguments) {
               const double area = ShapeOf(self)->Area();
               arguments[0] = Value(&area);
           },
           {Result(typeid(double), L"double")});
    Define(shape, L"Name", PropertyGetStyle,
           [](const Value& self, std::vector<Value>& arguments) {
               arguments[0] = Value(&ShapeOf(self)->name);
           },
           {Result(typeid(std::wstring), L"String")});
    Define(shape, L"All", StaticStyle,
           [](const Value&, std::vector<Value>& arguments) {
               auto items = boost::make_shared<std::vector<boost::shared_ptr<Shape>>>(g_shelf);
               boost::shared_ptr<const IArray> array = boost::make_shared<Array>(
                   boost::make_shared<StdVector<boost::shared_ptr<Shape>>>(items));
               arguments[0] = Value(array);
           },
           {Result(typeid(IArray), L"Array")});

    Define(circle, L"Circle", ConstructorStyle,
           [](const Value&, std::vector<Value>& arguments) {
               arguments[1] = Value(boost::make_shared<Circle>(GetAs<double>(arguments[0])));
           },
           {Input(typeid(double), L"double", L"radius"), Result(typeid(Circle), L"Road::Circle")});
    // Calls the script's callback with the circle and its radius; returns what it answered.
    Define(circle, L"Notify", InstanceStyle,
           [](const Value& self, std::vector<Value>& arguments) {
               const Value& callback = *CastTo<Value>(&arguments[0], true);
               IScriptContext* context = CastTo<IScriptContext>(&arguments[1], true);
               const double radius = CastTo<Circle>(&self, true)->radius;
               std::vector<Value> answers;
               if (context->CallScriptFunction(callback, {self, Value(&radius)}, false, answers) &&
                   answers.size() == 1) {
                   arguments[2] = answers[0];
               }
           },
           {Input(typeid(Value), L"Function", L"callback"),
            Input(typeid(IScriptContext), L"Context", L"context"), Result(typeid(long), L"long")});

    Define(square, L"Square", ConstructorStyle,
           [](const Value&, std::vector<Value>& arguments) {
               arguments[1] = Value(boost::make_shared<Square>(GetAs<int>(arguments[0])));
           },
           {Input(typeid(int), L"int", L"side"), Result(typeid(Square), L"Road::Square")});
    Define(square, L"Scale", InstanceStyle,
           [](const Value& self, std::vector<Value>& arguments) {
               CastTo<Square>(&self, true)->side *= GetAs<int>(arguments[0]);
           },
           {Input(typeid(int), L"int", L"factor"), Result(typeid(void), L"void")});
    square->AddFunction(boost::make_shared<DeprecatedRenamedFunction>(
        L"Enlarge", L"Road::Square", L"Road", InstanceStyle, L"Scale"));

    ClassRegistry& registry = ClassRegistry::GetInstance();
    registry.AddClass(square);
    registry.AddClass(circle);
    registry.AddClass(shape);
    registry.CheckClasses();
}

// ---- The script host -----------------------------------------------------------------------

/// Dispatches script calls the way a script host does.
class Host {
public:
    explicit Host(boost::shared_ptr<TestScriptContext> context) : m_context(std::move(context)) {}

    /// Calls `className`'s function of that name and one of the styles of `styleMask` on
    /// `object` (a script-side wrapper value, or empty) and returns the wrapped result.
    Value Call(const std::wstring& className, const std::wstring& functionName, long styleMask,
               const Value& object, const std::vector<Value>& scriptArguments,
               bool usesArgumentNumbers = true) {
        const auto frame =
            boost::make_shared<TestScriptCall>(className, functionName, usesArgumentNumbers);
        m_context->PushScriptCall(frame);
        try {
            Value result = Dispatch(*frame, object, scriptArguments, styleMask);
            m_context->PopScriptCall();
            return result;
        } catch (...) {
            m_context->PopScriptCall();
            throw;
        }
    }

private:
    Value Dispatch(const TestScriptCall& frame, const Value& object,
                   const std::vector<Value>& scriptArguments, long styleMask) {
        const boost::shared_ptr<Class> scriptClass =
            ClassRegistry::GetInstance().FindClassByScriptName(frame.GetCalledClassName());
        const boost::shared_ptr<IObject> wrapper =
            object.IsEmpty() ? boost::shared_ptr<IObject>()
                             : CastTo<IObject>(&object, true)->shared_from_this();
        boost::shared_ptr<IFunction> function =
            scriptClass->FindFunction(frame.GetCalledFunctionName(), styleMask, wrapper);
        if (!function) {
            throw ScriptException(L"No function " + frame.GetCalledFunctionName() + L".");
        }
        if ((function->GetStyle() & DeprecatedStyle) != 0) {
            const auto deprecated = boost::dynamic_pointer_cast<DeprecatedFunction>(function);
            if (!deprecated->PreInvoke(m_context, frame.GetCalledClassName(), function) &&
                std::wstring(deprecated->GetDeprecationType()) == L"Renamed") {
                function = scriptClass->FindFunction(deprecated->GetDelegateFunctionNames(),
                                                     styleMask, wrapper);
            }
        }

        std::vector<Value> arguments;
        std::size_t next = 0;
        std::size_t returnPosition = 0;
        for (const Argument& descriptor : function->GetArguments()) {
            if ((descriptor.GetStyle() & ReturnArgument) != 0) {
                returnPosition = arguments.size();
                arguments.emplace_back();
            } else if (descriptor.GetType() == DataType(typeid(IScriptContext))) {
                arguments.emplace_back(boost::shared_ptr<IScriptContext>(m_context));
            } else {
                const unsigned int index = static_cast<unsigned int>(next);
                Value argument = scriptArguments.at(next++);
                arguments.push_back(Convert(argument, descriptor, frame, index));
            }
        }

        function->Invoke(wrapper ? wrapper->GetScriptedObject() : Value(), arguments);

        Value result = arguments[returnPosition];
        if (!result.IsEmpty() && !ConversionRegistry::GetInstance().WrapValue(m_context, result)) {
            throw ScriptException(L"The result of " + frame.GetCalledFunctionName() +
                                  L" cannot be handed to the script.");
        }
        return result;
    }

    Value Convert(Value argument, const Argument& descriptor, const IScriptCall& frame,
                  unsigned int index) {
        if (argument.GetType() == descriptor.GetType()) {
            return argument;
        }
        try {
            ConversionRegistry::GetInstance().ConvertValue(descriptor.GetType(), m_context,
                                                           argument, true);
        } catch (const ScriptAbortException&) {
            throw;
        } catch (const ScriptException& error) {
            GenerateArgumentError(error.GetExceptionMessage(), &frame, index, descriptor.GetName());
        }
        return argument;
    }

    boost::shared_ptr<TestScriptContext> m_context;
};

// ---- The script ------------------------------------------------------------------------------

template <class T>
Value Make(const T& native) {
    return Value(&native);
}

template <class T>
const T& Read(const Value& value) {
    return *CastTo<T>(&value, true);
}

/// The wrapper a script-side object value holds.
const Object& WrapperOf(const Value& value) {
    const auto* object = dynamic_cast<const Object*>(CastTo<IObject>(&value, true));
    if (!object) {
        throw ScriptException(L"The value holds no Object wrapper.");
    }
    return *object;
}

class ScriptCallRoadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterModule(); }

    void SetUp() override {
        context = TestScriptContext::Create();
        context->SetEventHandler(
            [this](const std::vector<Value>& arguments, std::vector<Value>& results) {
                notices.push_back(Read<std::wstring>(arguments.at(1)));
                if (abortOnNotice) {
                    results.push_back(Make(0L));
                }
                return true;
            });
    }

    boost::shared_ptr<TestScriptContext> context;
    std::vector<std::wstring> notices;
    bool abortOnNotice = false;
};

}  // namespace

TEST_F(ScriptCallRoadTest, FindsFunctionsByNameAndStyleThroughTheBaseChain) {
    const auto circle = ClassRegistry::GetInstance().FindClassByScriptName(L"Road::Circle");
    ASSERT_TRUE(circle);
    const boost::shared_ptr<IObject> none;

    const auto area = circle->FindFunction(L"Area", InstanceStyle | StaticStyle, none);
    ASSERT_TRUE(area);
    EXPECT_STREQ(L"Road::Shape", dynamic_cast<Function&>(*area).GetOwningClassName());
    EXPECT_TRUE(circle->FindFunction(L"Circle", ConstructorStyle, none));
    EXPECT_FALSE(circle->FindFunction(L"Circle", InstanceStyle, none));
    EXPECT_FALSE(circle->FindFunction(L"Scale", InstanceStyle, none));

    const auto square = ClassRegistry::GetInstance().FindClassByScriptName(L"Road::Square");
    const auto enlarge = square->FindFunction(L"Enlarge", InstanceStyle, none);
    ASSERT_TRUE(enlarge);
    EXPECT_EQ(InstanceStyle | DeprecatedStyle, enlarge->GetStyle());
}

TEST_F(ScriptCallRoadTest, ConstructsInvokesAndWrapsNumbersTextsAndObjects) {
    Host host(context);
    const Value circle =
        host.Call(L"Road::Circle", L"Circle", ConstructorStyle, Value(), {Make(2.0)});
    const Object& wrapper = WrapperOf(circle);
    EXPECT_STREQ(L"Road::Circle", wrapper.GetClassScriptName(true));
    EXPECT_TRUE(wrapper.GetScriptedObject().IsInsideSmartPointer());

    const Value area = host.Call(L"Road::Circle", L"Area", InstanceStyle, circle, {});
    EXPECT_EQ(12.0, Read<double>(area));
    const Value name = host.Call(L"Road::Circle", L"Name", PropertyGetStyle, circle, {});
    EXPECT_EQ(L"circle", Read<std::wstring>(name));

    // A long from the script converts to the double the constructor wants, without a notice.
    const Value exact =
        host.Call(L"Road::Circle", L"Circle", ConstructorStyle, Value(), {Make(3L)});
    EXPECT_EQ(27.0, Read<double>(host.Call(L"Road::Circle", L"Area", InstanceStyle, exact, {})));
    EXPECT_TRUE(notices.empty());
    EXPECT_FALSE(context->GetScriptCall());
}

TEST_F(ScriptCallRoadTest, PrecisionNoticeReachesTheScriptsHandlerWhichMayAbort) {
    Host host(context);
    const Value square =
        host.Call(L"Road::Square", L"Square", ConstructorStyle, Value(), {Make(2.5)});
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(0u, notices[0].find(L"Loss of precision in conversion from double to int"))
        << std::string(notices[0].begin(), notices[0].end());
    EXPECT_NE(std::wstring::npos, notices[0].find(L"2.5"));
    EXPECT_EQ(4.0, Read<double>(host.Call(L"Road::Square", L"Area", InstanceStyle, square, {})));

    abortOnNotice = true;
    const int live = g_liveShapes;
    EXPECT_THROW(host.Call(L"Road::Square", L"Square", ConstructorStyle, Value(), {Make(1.5)}),
                 ScriptAbortException);
    EXPECT_EQ(live, g_liveShapes);
    EXPECT_FALSE(context->GetScriptCall());
}

TEST_F(ScriptCallRoadTest, RenamedFunctionWarnsAndRunsUnderItsNewName) {
    Host host(context);
    const Value square =
        host.Call(L"Road::Square", L"Square", ConstructorStyle, Value(), {Make(2)});
    host.Call(L"Road::Square", L"Enlarge", InstanceStyle, square, {Make(3)});

    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(
        L"The API Road::Square::Enlarge has been renamed to Road::Square::Scale, which will "
        L"automatically be called until the script is updated. Please refer to the "
        L"documentation and update your scripts to use the renamed API instead.",
        notices[0]);
    const Value native = WrapperOf(square).GetScriptedObject();
    EXPECT_EQ(6, Read<Square>(native).side);
}

TEST_F(ScriptCallRoadTest, ArgumentErrorNamesTheArgumentAndTheCalledFunction) {
    Host host(context);
    const Value square =
        host.Call(L"Road::Square", L"Square", ConstructorStyle, Value(), {Make(2)});
    const std::wstring big(L"big");

    EXPECT_EQ(L"Failed to convert the string value big to int. (argument #1, calling Scale).",
              ScriptErrorText([&] {
                  host.Call(L"Road::Square", L"Scale", InstanceStyle, square, {Make(big)});
              }));
    EXPECT_EQ(L"Failed to convert the string value big to int. (argument factor, calling Scale).",
              ScriptErrorText([&] {
                  host.Call(L"Road::Square", L"Scale", InstanceStyle, square, {Make(big)}, false);
              }));
    EXPECT_FALSE(context->GetScriptCall());
}

TEST_F(ScriptCallRoadTest, NativeCodeCallsBackIntoTheScriptWithWrappedArguments) {
    Host host(context);
    const Value circle =
        host.Call(L"Road::Circle", L"Circle", ConstructorStyle, Value(), {Make(1.5)});

    std::vector<Value> received;
    const Value callback = MakeScriptFunction(
        [&received](const std::vector<Value>& arguments, std::vector<Value>& results) {
            received = arguments;
            results.push_back(Make(42L));
            return true;
        });
    const Value answer = host.Call(L"Road::Circle", L"Notify", InstanceStyle, circle, {callback});

    EXPECT_EQ(42L, Read<long>(answer));
    ASSERT_EQ(2u, received.size());
    const Object& passed = WrapperOf(received[0]);
    EXPECT_STREQ(L"Road::Circle", passed.GetClassScriptName(false));
    EXPECT_NE(&passed, &WrapperOf(circle));
    EXPECT_EQ(WrapperOf(circle).GetScriptedObject().GetValuePtr(),
              passed.GetScriptedObject().GetValuePtr());
    EXPECT_EQ(1.5, Read<double>(received[1]));
}

TEST_F(ScriptCallRoadTest, ArrayOfObjectsReachesTheScriptAsWrappers) {
    g_shelf = {boost::make_shared<Circle>(1.0), boost::make_shared<Square>(3)};
    Host host(context);
    const Value all = host.Call(L"Road::Shape", L"All", StaticStyle, Value(), {});

    const auto* array = dynamic_cast<const IArray*>(CastTo<IObject>(&all, true));
    ASSERT_NE(nullptr, array);
    EXPECT_STREQ(L"VelmorandScript::Array", WrapperOf(all).GetClassScriptName(false));
    ASSERT_EQ(2, array->Count());
    const wchar_t* expected[] = {L"Road::Circle", L"Road::Square"};
    for (long i = 0; i < array->Count(); ++i) {
        Value item = array->Item(i);
        ASSERT_TRUE(ConversionRegistry::GetInstance().WrapValue(context, item));
        EXPECT_STREQ(expected[i], WrapperOf(item).GetClassScriptName(false));
        EXPECT_EQ(g_shelf[static_cast<std::size_t>(i)].get(),
                  WrapperOf(item).GetScriptedObject().GetValuePtr());
    }
    g_shelf.clear();
}

TEST_F(ScriptCallRoadTest, NativeObjectDiesWithItsLastWrapperAndValue) {
    const int before = g_liveShapes;
    {
        Host host(context);
        Value circle =
            host.Call(L"Road::Circle", L"Circle", ConstructorStyle, Value(), {Make(1.0)});
        const Value callback =
            MakeScriptFunction([](const std::vector<Value>&, std::vector<Value>&) { return true; });
        host.Call(L"Road::Circle", L"Notify", InstanceStyle, circle, {callback});
        EXPECT_EQ(before + 1, g_liveShapes);

        // The host still holds the wrapper it passed to the callback.
        circle = Value();
        EXPECT_EQ(before + 1, g_liveShapes);
        context->ClearInvokedCalls();
    }
    EXPECT_EQ(before, g_liveShapes);
}
