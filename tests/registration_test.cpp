// The typed registration: what ClassBuilder describes matches the same class described by hand,
// and what its generated Invoke does with good and bad input, results, outputs and ownership.

#include <VelmorandScript/VelmorandScript.h>

#include "support/TestHost.h"

#include <boost/enable_shared_from_this.hpp>

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// Native names match the script names, so that texts with either read alike.
namespace Reg {

struct Part : boost::enable_shared_from_this<Part> {
    explicit Part(double size = 1) : size(size) {}
    virtual ~Part() = default;
    double size;
    std::wstring label = L"part";
    double Grow(double by, double times) { return size += by * times; }
    void Measure(double& width, std::wstring& text) const {
        width = size;
        text = label;
    }
};
struct Gear : Part {
    using Part::Part;
    long teeth = 8;
};
struct Other : boost::enable_shared_from_this<Other> {
    virtual ~Other() = default;
};
struct Unregistered {};
struct Late {};
struct Broken {
    void Take(Unregistered&) {}
    void Two(double, double) {}
};

}  // namespace Reg

namespace VelmorandScript {
namespace Testing {
namespace {

using namespace Reg;

std::vector<std::wstring> g_notes;

/// Reg::Part described by the builder.
void RegisterParts() {
    static const bool registered = [] {
        ClassBuilder<Part>(L"Reg::Part", L"RegModule")
            .Constructor<double>({Default(L"size", 2.0)})
            .Property(L"Size", &Part::size)
            .Property(
                L"Label", [](const Part& part) { return Common::ToUtf8(part.label); },
                [](Part& part, const std::string& text) { part.label = Common::ToWString(text); })
            .Method(L"Grow", &Part::Grow, {L"by", Default(L"times", 1.0, L"once")})
            .Method(L"Measure", &Part::Measure, {L"width", L"text"})
            .Method(L"Note",
                    [](Part&, const Value& item, IScriptContext&) {
                        g_notes.push_back(item.GetTypeName());
                    },
                    {Typed(L"item", L"anything")})
            .Static(L"Twin", [](const boost::shared_ptr<Part>& part) { return part; }, {L"part"})
            .Static(L"Copy", [](const Part& part) { return part; }, {L"part"})
            .Static(L"Sum",
                    [](const std::vector<double>& numbers) {
                        return std::accumulate(numbers.begin(), numbers.end(), 0.0);
                    },
                    {L"numbers"})
            .Static(L"Gears",
                    [](long count) {
                        return std::vector<boost::shared_ptr<Gear>>(count,
                                                                    boost::make_shared<Gear>());
                    },
                    {L"count"})
            .Static(L"Fail",
                    [](bool script) {
                        if (script) {
                            throw ScriptException(L"as the script wants");
                        }
                        throw std::runtime_error("broken");
                    },
                    {L"script"})
            .Renamed(L"Enlarge", L"Grow")
            .Removed(L"Spin")
            .Replaced(L"Resize", L"Grow", InstanceStyle)
            .Register();
        static Part keeper(7);
        ClassBuilder<Gear>(L"Reg::Gear", L"RegModule")
            .Base(L"Reg::Part")
            .Constructor(
                [](long teeth) {
                    auto gear = boost::make_shared<Gear>();
                    gear->teeth = teeth;
                    return gear;
                },
                {L"teeth"})
            .ReadOnly(L"Teeth", &Gear::teeth)
            .Static(L"Keeper", NonOwning([]() -> Part& { return keeper; }))
            .Register();
        return true;
    }();
    (void)registered;
}

/// The same Reg::Part functions described by hand, as a module would without the builder.
boost::shared_ptr<Class> DescribePartsByHand() {
    auto hand =
        boost::make_shared<Class>(TypeOf<Part>(), L"Reg::Part", nullptr, L"RegModule", false);
    auto add = [&](const wchar_t* name, int style, bool isConst, std::vector<Argument> arguments) {
        auto function = boost::make_shared<NativeFunction>(name, L"Reg::Part", L"RegModule",
                                                           isConst, style, NativeFunction::Body());
        for (const Argument& argument : arguments) {
            function->AddArgument(argument);
        }
        hand->AddFunction(function);
    };
    auto arg = [](DataType type, const wchar_t* script, const wchar_t* name, long style,
                  Value value = Value(), const wchar_t* text = nullptr) {
        return Argument(type, script, name, style, value, text);
    };
    const Argument none = arg(TypeOf<void>(), L"void", L"result", ReturnArgument);
    const double two = 2, one = 1;
    add(L"Part", ConstructorStyle, false,
        {arg(TypeOf<double>(), L"double", L"size", InputArgument | OptionalArgument, Make(two),
             L"2"),
         arg(TypeOf<Part>(), L"Reg::Part", L"result", ReturnArgument)});
    add(L"Size", PropertyGetStyle, true,
        {arg(TypeOf<double>(), L"double", L"result", ReturnArgument)});
    add(L"Size", PropertySetStyle, false,
        {arg(TypeOf<double>(), L"double", L"size", InputArgument), none});
    add(L"Label", PropertyGetStyle, true,
        {arg(TypeOf<std::wstring>(), L"String", L"result", ReturnArgument)});
    add(L"Label", PropertySetStyle, false,
        {arg(TypeOf<std::wstring>(), L"String", L"label", InputArgument), none});
    add(L"Grow", InstanceStyle, false,
        {arg(TypeOf<double>(), L"double", L"by", InputArgument),
         arg(TypeOf<double>(), L"double", L"times", InputArgument | OptionalArgument, Make(one),
             L"once"),
         arg(TypeOf<double>(), L"double", L"result", ReturnArgument)});
    add(L"Measure", InstanceStyle, true,
        {arg(TypeOf<double>(), L"double", L"width", OutputArgument),
         arg(TypeOf<std::wstring>(), L"String", L"text", OutputArgument), none});
    add(L"Note", CommandStyle, false,
        {arg(TypeOf<Value>(), L"anything", L"item", InputArgument),
         arg(TypeOf<IScriptContext>(), L"context", L"context", InputArgument), none});
    add(L"Twin", StaticStyle, false,
        {arg(TypeOf<Part>(), L"Reg::Part", L"part", InputArgument),
         arg(TypeOf<Part>(), L"Reg::Part", L"result", ReturnArgument)});
    add(L"Copy", StaticStyle, false,
        {arg(TypeOf<Part>(), L"Reg::Part", L"part", InputArgument),
         arg(TypeOf<Part>(), L"Reg::Part", L"result", ReturnArgument)});
    add(L"Sum", StaticStyle, false,
        {arg(TypeOf<IArray>(), L"VelmorandScript::Array", L"numbers", InputArgument),
         arg(TypeOf<double>(), L"double", L"result", ReturnArgument)});
    add(L"Gears", StaticStyle, false,
        {arg(TypeOf<long>(), L"long", L"count", InputArgument),
         arg(TypeOf<IArray>(), L"VelmorandScript::Array", L"result", ReturnArgument)});
    add(L"Fail", StaticStyle, false,
        {arg(TypeOf<bool>(), L"bool", L"script", InputArgument), none});
    hand->AddFunction(boost::make_shared<DeprecatedRenamedFunction>(
        L"Enlarge", L"Reg::Part", L"RegModule", InstanceStyle, L"Grow"));
    hand->AddFunction(boost::make_shared<DeprecatedRemovedFunction>(
        L"Spin", L"Reg::Part", L"RegModule", CommandStyle, L""));
    hand->AddFunction(boost::make_shared<DeprecatedReplacedFunction>(
        L"Resize", L"Reg::Part", L"RegModule", InstanceStyle, L"Grow"));
    return hand;
}

/// Everything a listing or a host reads of a class's functions, one line per function.
std::wstring Listing(const Class& described) {
    FunctionMap functions;
    described.GetAllFunctions(functions);
    std::wostringstream text;
    for (const auto& entry : functions) {
        IFunction& function = *entry.second;
        text << function.GetName() << L" " << GetFunctionStyleName(function.GetStyle())
             << L" const=" << function.IsConst() << L" module="
             << function.GetIntroducingModuleName();
        if (const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function)) {
            text << L" " << deprecated->GetDeprecationType() << L":"
                 << deprecated->GetDelegateFunctionNames();
        }
        for (const Argument& argument : function.GetArguments()) {
            text << L"\n  " << argument.GetName() << L" " << argument.GetType().GetName() << L" '"
                 << argument.GetScriptType() << L"' style=" << argument.GetStyle() << L" default="
                 << (argument.GetDefaultValue().IsEmpty()
                         ? L"-"
                         : argument.GetDefaultValue().GetTypeName())
                 << L" '"
                 << (argument.GetScriptDefaultValue() ? argument.GetScriptDefaultValue() : L"-")
                 << L"'";
        }
        text << L"\n";
    }
    return text.str();
}

/// Calls a function as a host would: `inputs` fill the script's slots in order, the context
/// the context slot; returns every slot.
std::vector<Value> Call(const boost::shared_ptr<IFunction>& function, const Value& object,
                        std::vector<Value> inputs) {
    std::vector<Value> slots;
    std::size_t next = 0;
    for (const Argument& argument : function->GetArguments()) {
        if (argument.GetType() == TypeOf<IScriptContext>()) {
            slots.push_back(Value(boost::shared_ptr<IScriptContext>(TestScriptContext::Create())));
        } else if ((argument.GetStyle() & InputArgument) != 0) {
            slots.push_back(next < inputs.size() ? inputs[next++] : argument.GetDefaultValue());
        } else {
            slots.emplace_back();
        }
    }
    function->Invoke(object, slots);
    return slots;
}
std::vector<Value> Call(const wchar_t* className, const wchar_t* name, long style,
                        const Value& object, std::vector<Value> inputs) {
    return Call(ClassRegistry::GetInstance().FindClassByScriptName(className)->FindFunction(
                    name, style, {}),
                object, std::move(inputs));
}

template <class T>
Value Boxed(const T& native) {
    const Value inner = Make(native);
    return Make(inner);
}

class RegistrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        RegisterArrayClass();
        RegisterParts();
        ClassRegistry::GetInstance().CheckClasses();
    }
};

TEST_F(RegistrationTest, DescribesWhatAHandWrittenDescriptionWould) {
    const auto built = ClassRegistry::GetInstance().FindClassByScriptName(L"Reg::Part");
    EXPECT_EQ(Listing(*built), Listing(*DescribePartsByHand()));
    EXPECT_EQ(built->GetDataType(), TypeOf<Part>());
    // A derived class: its objects travel as the base, its constructor names it.
    const auto gear = ClassRegistry::GetInstance().FindClassByScriptName(L"Reg::Gear");
    EXPECT_STREQ(gear->GetBaseScriptName(), L"Reg::Part");
    const Argument& made = gear->FindFunction(L"Gear", ConstructorStyle, {})->GetArguments().back();
    EXPECT_EQ(made.GetType(), TypeOf<Part>());
    EXPECT_STREQ(made.GetScriptType(), L"Reg::Gear");
}

TEST_F(RegistrationTest, CallsReadArgumentsAndFillResultsAndOutputs) {
    const Value part = Call(L"Reg::Part", L"Part", ConstructorStyle, Value(), {}).back();
    ASSERT_TRUE(part.IsInsideSmartPointer());
    EXPECT_EQ(Read<Part>(part).size, 2.0);
    EXPECT_EQ(Read<double>(Call(L"Reg::Part", L"Grow", InstanceStyle, part, {Make(1.5)}).back()),
              3.5);
    EXPECT_EQ(Read<double>(
                  Call(L"Reg::Part", L"Grow", InstanceStyle, part, {Make(1.0), Make(2.0)}).back()),
              5.5);
    Call(L"Reg::Part", L"Size", PropertySetStyle, part, {Make(4.0)});
    EXPECT_EQ(Read<double>(Call(L"Reg::Part", L"Size", PropertyGetStyle, part, {})[0]), 4.0);
    // UTF-8 texts in and out.
    Call(L"Reg::Part", L"Label", PropertySetStyle, part, {Make(std::wstring(L"gr\u00fc\u00dfe"))});
    EXPECT_EQ(Read<std::wstring>(Call(L"Reg::Part", L"Label", PropertyGetStyle, part, {})[0]),
              L"gr\u00fc\u00dfe");
    const std::vector<Value> measured = Call(L"Reg::Part", L"Measure", InstanceStyle, part, {});
    EXPECT_EQ(Read<double>(measured[0]), 4.0);
    EXPECT_EQ(Read<std::wstring>(measured[1]), L"gr\u00fc\u00dfe");
    EXPECT_TRUE(measured[2].IsEmpty());
    // A boxed Value arrives as the script's value; the context is the host's.
    g_notes.clear();
    Call(L"Reg::Part", L"Note", CommandStyle, part, {Boxed(7L)});
    EXPECT_EQ(g_notes, std::vector<std::wstring>{L"long"});
    // Vectors travel as arrays, objects in them as their shared type.
    auto numbers = boost::make_shared<std::vector<double>>(std::vector<double>{1, 2.5});
    const Value array(boost::shared_ptr<IArray>(
        boost::make_shared<Array>(boost::make_shared<StdVector<double>>(numbers))));
    EXPECT_EQ(Read<double>(Call(L"Reg::Part", L"Sum", StaticStyle, Value(), {array}).back()), 3.5);
    const Value gears = Call(L"Reg::Part", L"Gears", StaticStyle, Value(), {Make(2L)}).back();
    const IArray& items = Read<IArray>(gears);
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(1).GetType(), TypeOf<Part>());
    EXPECT_EQ(items.Item(1).GetDerivedType(), TypeOf<Gear>());
}

TEST_F(RegistrationTest, OwnershipFollowsTheSignature) {
    const Value gear = Call(L"Reg::Gear", L"Gear", ConstructorStyle, Value(), {Make(12L)}).back();
    EXPECT_EQ(gear.GetType(), TypeOf<Part>());
    EXPECT_EQ(Read<long>(Call(L"Reg::Gear", L"Teeth", PropertyGetStyle, gear, {})[0]), 12);
    // A shared pointer result shares the object; it stays alive after the script's value goes.
    Value twin = Call(L"Reg::Part", L"Twin", StaticStyle, Value(), {gear}).back();
    EXPECT_EQ(twin.GetValuePtr(), gear.GetValuePtr());
    boost::weak_ptr<Part> watched;
    {
        const Value made = Call(L"Reg::Part", L"Part", ConstructorStyle, Value(), {}).back();
        twin = Call(L"Reg::Part", L"Twin", StaticStyle, Value(), {made}).back();
        watched = CastTo<Part>(&twin, true)->shared_from_this();
    }
    EXPECT_FALSE(watched.expired());
    twin = Value();
    EXPECT_TRUE(watched.expired());
    // A result by value is the script's own copy; a non-owning result refers to the object.
    const Value copy = Call(L"Reg::Part", L"Copy", StaticStyle, Value(), {gear}).back();
    EXPECT_NE(copy.GetValuePtr(), gear.GetValuePtr());
    EXPECT_EQ(Read<Part>(copy).size, Read<Part>(gear).size);
    const Value kept = Call(L"Reg::Gear", L"Keeper", StaticStyle, Value(), {}).back();
    EXPECT_FALSE(kept.IsInsideSmartPointer());
    EXPECT_EQ(Read<Part>(kept).size, 7.0);
}

TEST_F(RegistrationTest, BadInputAndFailuresRaiseTheLibrarysTexts) {
    const Value part = Call(L"Reg::Part", L"Part", ConstructorStyle, Value(), {}).back();
    const Value array(boost::shared_ptr<IArray>(
        boost::make_shared<Array>(boost::make_shared<StdVector<std::wstring>>(
            boost::make_shared<std::vector<std::wstring>>(1, L"x")))));
    const Value other(boost::make_shared<Other>());
    const struct {
        std::function<void()> call;
        std::wstring error;
    } rows[] = {
        {[&] { Call(L"Reg::Part", L"Sum", StaticStyle, Value(), {array}); },
         L"Bad cast from type String to type double. (argument #1, calling Reg::Part::Sum)."},
        {[&] { Call(L"Reg::Part", L"Twin", StaticStyle, Value(), {Make(3L)}); },
         L"Bad cast from type long to type Reg::Part. (argument #1, calling Reg::Part::Twin)."},
        {[&] { Call(L"Reg::Gear", L"Teeth", PropertyGetStyle, part, {}); },
         L"Function Teeth was invoked on an object of an incompatible type Reg::Part, not the "
         L"expected type Reg::Gear."},
        {[&] { Call(L"Reg::Part", L"Size", PropertyGetStyle, other, {}); },
         L"Function Size was invoked on an object of an incompatible type Reg::Other, not the "
         L"expected type Reg::Part."},
        {[&] { Call(L"Reg::Part", L"Fail", StaticStyle, Value(), {Make(false)}); },
         L"calling Reg::Part::Fail: broken"},
        {[&] { Call(L"Reg::Part", L"Fail", StaticStyle, Value(), {Make(true)}); },
         L"as the script wants"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ScriptErrorText(row.call), row.error);
    }
}

TEST_F(RegistrationTest, CollectionObjectsAndNullableResults) {
    const boost::shared_ptr<const IArray> shared = MakeEmptyArray();
    const Value array(boost::shared_ptr<IArray>(
        boost::make_shared<Array>(boost::make_shared<StdVector<std::wstring>>(
            boost::make_shared<std::vector<std::wstring>>(1, L"a")))));
    const auto items = ClassBuilder<IArray>(L"Reg::Items", L"RegModule")
                           .Method(L"Count", [](const IArray& items) { return items.Count(); })
                           .ReadOnly(L"First",
                                     [](IArray& items) {
                                         return items.Count() > 0
                                                    ? std::optional<std::wstring>(
                                                          GetAs<std::wstring>(items.Item(0)))
                                                    : std::nullopt;
                                     })
                           .Static(L"Shared", [shared] { return shared; })
                           .Static(L"Hash", [] { return boost::shared_ptr<IHash>(); })
                           .Build();
    const struct {
        const wchar_t* name;
        long style;
        Value object;
        const wchar_t* scriptType;
        std::function<bool(const Value&)> result;
    } rows[] = {
        {L"Count", InstanceStyle, array, L"long",
         [](const Value& v) { return Read<long>(v) == 1; }},
        {L"First", PropertyGetStyle, array, L"String",
         [](const Value& v) { return Read<std::wstring>(v) == L"a"; }},
        {L"First", PropertyGetStyle, Value(shared), L"String",
         [](const Value& v) { return v.IsEmpty(); }},
        // What Value(pointer) makes: hosts read the collection as the interface it declares.
        {L"Shared", StaticStyle, Value(), L"VelmorandScript::Array",
         [&](const Value& v) {
             return v.GetDecoratedType() == Value(shared).GetDecoratedType() &&
                    v.GetValuePtr() == shared.get();
         }},
        {L"Hash", StaticStyle, Value(), L"VelmorandScript::IHash",
         [](const Value& v) { return v.IsEmpty(); }},
    };
    for (const auto& row : rows) {
        const auto function = items->FindFunction(row.name, row.style, {});
        EXPECT_STREQ(function->GetArguments().back().GetScriptType(), row.scriptType) << row.name;
        EXPECT_TRUE(row.result(Call(function, row.object, {}).back())) << row.name;
    }
    const Value part = Call(L"Reg::Part", L"Part", ConstructorStyle, Value(), {}).back();
    EXPECT_EQ(
        ScriptErrorText([&] { Call(items->FindFunction(L"Count", InstanceStyle, {}), part, {}); }),
        L"Function Count was invoked on an object of an incompatible type Reg::Part, not the "
        L"expected type VelmorandScript::IArray.");
}

TEST_F(RegistrationTest, RegistrationErrorsNameClassAndFunction) {
    const struct {
        boost::shared_ptr<Class> described;
        std::wstring error;
    } rows[] = {
        {ClassBuilder<Broken>(L"Reg::Broken", L"RegModule")
             .Method(L"Take", &Broken::Take, {L"thing"})
             .Build(),
         L"Reg::Broken::Take: argument thing has the native type Reg::Unregistered, which no "
         L"registered class describes."},
        {ClassBuilder<Broken>(L"Reg::Broken", L"RegModule")
             .Method(L"Two", &Broken::Two, {L"x"})
             .Build(),
         L"Reg::Broken::Two names 1 parameters, but the function has 2 that scripts pass."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ScriptErrorText([&] { row.described->Check(); }), row.error);
    }
    // A class registered after the functions that take it names them once it is there.
    const auto early = ClassBuilder<Broken>(L"Reg::Early", L"RegModule")
                           .Method(L"Use", [](Broken&, Late&) {}, {L"late"})
                           .Build();
    EXPECT_NE(ScriptErrorText([&] { early->Check(); }), L"<no exception>");
    ClassBuilder<Late>(L"Reg::LateClass", L"RegModule").Register();
    EXPECT_EQ(ScriptErrorText([&] { early->Check(); }), L"<no exception>");
    EXPECT_STREQ(early->FindFunction(L"Use", CommandStyle, {})->GetArguments()[0].GetScriptType(),
                 L"Reg::LateClass");
}

}  // namespace
}  // namespace Testing
}  // namespace VelmorandScript
