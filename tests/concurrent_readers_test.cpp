// Once registration is finished, several threads, each with a context of its own, look classes
// and functions up, convert and wrap at the same time (calls in contexts of their own, over the
// sample module: tests/lua/concurrent_contexts_test.cpp). The ThreadSanitizer build
// (VELMORAND_TSAN) reports any race; every build checks the answers, which a torn cache entry
// would get wrong.

#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace VelmorandScript {
namespace {

using namespace Testing;

struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {};
/// Reaches a wrapper only through a conversion to Shape.
struct Sketch {};

Value SketchToShape(const Value&, boost::shared_ptr<IScriptContext>) {
    return Make(Shape());
}

ConversionRegistry& Conversions() {
    return ConversionRegistry::GetInstance();
}

/// A number or text as text, whatever standard type the value holds ("" for another type).
template <class... Numbers>
std::wstring ShowAny(const Value& value) {
    std::wstring text;
    ((value.GetType() == TypeOf<Numbers>() ? (text = std::to_wstring(+Read<Numbers>(value)), 0)
                                           : 0),
     ...);
    return value.GetType() == TypeOf<std::wstring>() ? Read<std::wstring>(value) : text;
}
std::wstring Show(const Value& value) {
    return ShowAny<long, unsigned long, int, unsigned int, double, float, bool, unsigned char,
                   char>(value);
}

/// One conversion, with the answer found before the threads start.
struct Conversion {
    Value source;
    DataType target;
    std::wstring expected;  // the shown result, or the text of the error
};

/// Every standard conversion between the number types and String, from a value of each type.
std::vector<Conversion> AllConversions() {
    const std::vector<Value> sources{Make(-7L),
                                     Make(9UL),
                                     Make(300),
                                     Make(42U),
                                     Make(2.5),
                                     Make(1e10f),
                                     Make(true),
                                     Make<unsigned char>(200),
                                     Make('x'),
                                     Make(std::wstring(L"12")),
                                     Make(std::wstring(L"twelve"))};
    std::vector<Conversion> conversions;
    for (const Value& source : sources) {
        for (const Value& typed : sources) {
            const DataType& target = typed.GetType();
            if (!Conversions().HasDataConversion(source.GetType(), target)) {
                continue;
            }
            Value result = source;
            std::wstring expected =
                ScriptErrorText([&] { Conversions().ConvertValue(target, nullptr, result, true); });
            conversions.push_back(
                {source, target, expected == L"<no exception>" ? Show(result) : expected});
        }
    }
    return conversions;
}

class ConcurrentReadersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        WrapUnchanged<long>();
        Conversions().RegisterDataWrapperRoutine(TypeOf<Shape>(), &WrapWith<1>);
        Conversions().RegisterDataConversion(TypeOf<Sketch>(), TypeOf<Shape>(), &SketchToShape);
        Conversions().RegisterCategoricalObjectWrapperRoutine(
            ConversionRegistry::ClassInstanceCategory, &WrapWith<2>);

        root = RegisterClass<1>(L"Concurrent::Root");
        middle = RegisterClass<2>(L"Concurrent::Middle", L"Concurrent::Root");
        leaf = RegisterClass<3>(L"Concurrent::Leaf", L"Concurrent::Middle");
        for (const std::wstring& name : InheritedNames()) {
            root->AddFunction(MakeFunction(name.c_str(), InstanceStyle));
        }
        rootRun = MakeFunction(L"Run", InstanceStyle);
        rootStop = MakeFunction(L"Stop", InstanceStyle);
        middleRun = MakeFunction(L"Run", StaticStyle);
        root->AddFunction(rootRun);
        root->AddFunction(rootStop);
        middle->AddFunction(middleRun);
        ClassRegistry::GetInstance().CheckClasses();
    }

    /// Names of functions of the root class, which each thread looks up from the leaf in an
    /// order of its own.
    static const std::vector<std::wstring>& InheritedNames() {
        static const std::vector<std::wstring> names = [] {
            std::vector<std::wstring> made;
            for (int i = 0; i < 64; ++i) {
                made.push_back(L"F" + std::to_wstring(i));
            }
            return made;
        }();
        return names;
    }

    /// Runs `work` on four threads at once, each with a context of its own and its number. The
    /// threads start together, so that their first calls, which fill the caches, overlap.
    static void OnFourThreads(
        const std::function<void(const boost::shared_ptr<RecordingContext>&, int)>& work) {
        std::atomic<int> waiting{4};
        std::vector<std::thread> threads;
        for (int thread = 0; thread < 4; ++thread) {
            threads.emplace_back([&work, &waiting, thread] {
                const auto context = boost::make_shared<RecordingContext>();
                waiting.fetch_sub(1);
                while (waiting.load() > 0) {
                    std::this_thread::yield();
                }
                work(context, thread);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    static inline boost::shared_ptr<Class> root, middle, leaf;
    static inline boost::shared_ptr<IFunction> rootRun, rootStop, middleRun;
};

constexpr int kRounds = 200;

TEST_F(ConcurrentReadersTest, LookupsThroughBasesRaceWithNothing) {
    const ClassRegistry& classes = ClassRegistry::GetInstance();
    const struct {
        const wchar_t* name;
        long mask;
        boost::shared_ptr<IFunction> expected;
    } rows[] = {{L"Run", InstanceStyle, rootRun},
                {L"Run", InstanceStyle | StaticStyle, middleRun},
                {L"Stop", InstanceStyle, rootStop},
                {L"Stop", StaticStyle, nullptr},
                {L"Missing", InstanceStyle, nullptr}};
    const std::vector<std::wstring>& names = InheritedNames();
    OnFourThreads([&](const boost::shared_ptr<RecordingContext>&, int thread) {
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                const std::wstring& name = names[(i + 16 * thread) % names.size()];
                ASSERT_EQ(leaf->FindFunction(name, InstanceStyle, nullptr)->GetName(), name);
            }
            ASSERT_EQ(classes.FindClassByScriptName(L"Concurrent::Leaf"), leaf);
            ASSERT_FALSE(classes.FindClassByScriptName(L"Concurrent::Nowhere"));
            for (const auto& row : rows) {
                ASSERT_EQ(leaf->FindFunction(row.name, row.mask, nullptr), row.expected)
                    << row.name << " mask " << row.mask;
            }
        }
    });
}

TEST_F(ConcurrentReadersTest, ConversionsOfManyTypePairsGetTheirOwnPairsResult) {
    std::vector<Conversion> conversions = AllConversions();
    ASSERT_GE(conversions.size(), 70u);
    // Its type names are first asked for on the threads.
    conversions.push_back({Make(Circle()), TypeOf<Sketch>(),
                           L"No valid conversion from VelmorandScript::(anonymous namespace)::"
                           L"Circle to VelmorandScript::(anonymous namespace)::Sketch"});
    OnFourThreads([&](const boost::shared_ptr<RecordingContext>&, int) {
        for (int round = 0; round < kRounds / 4; ++round) {
            for (const Conversion& conversion : conversions) {
                Value result = conversion.source;
                std::wstring shown = ScriptErrorText(
                    [&] { Conversions().ConvertValue(conversion.target, nullptr, result, true); });
                if (shown == L"<no exception>") {
                    ASSERT_EQ(result.GetType(), conversion.target);
                    shown = Show(result);
                }
                ASSERT_EQ(shown, conversion.expected) << conversion.target.GetName();
            }
        }
    });
}

TEST_F(ConcurrentReadersTest, WrappingFindsAndRemembersWrappersOnEveryThread) {
    const Circle circle;
    const struct {
        std::function<Value()> make;
        int wrapper;  // WrappedBy of the result; 0 for a value wrapped unchanged
    } rows[] = {{[] { return Make(5L); }, 0},
                {[&] { return Value(static_cast<const Shape*>(&circle), true); }, 1},
                {[] { return Make(Sketch()); }, 1},
                {[] { return Make(TypeTag<3>()); }, 2}};
    OnFourThreads([&](const boost::shared_ptr<RecordingContext>& context, int) {
        for (int round = 0; round < kRounds; ++round) {
            for (const auto& row : rows) {
                Value value = row.make();
                ASSERT_TRUE(Conversions().WrapValue(context, value));
                ASSERT_EQ(WrappedBy(value), row.wrapper);
            }
        }
    });
}

}  // namespace
}  // namespace VelmorandScript
