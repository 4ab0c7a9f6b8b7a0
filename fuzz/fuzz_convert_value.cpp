// Fuzzes ConversionRegistry::ConvertValue with the standard conversions: a value of any standard
// type (held by copy, by reference or by shared pointer), made from arbitrary bytes, asked to
// become any standard type, with or without a script context whose handler may abort.

#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace VelmorandScript;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_convert_value: broken guarantee: %s\n", what);
        std::abort();
    }
}

class FuzzCall : public IScriptCall {
public:
    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return L"Fuzz"; }
    std::wstring GetCalledFunctionName() const override { return L"Convert"; }
};

/// A script whose notification handler answers with what the input chose: nothing, or a long
/// (0 asks the library to abort the script).
class FuzzContext : public ScriptContext {
public:
    FuzzContext(bool hasHandler, bool handlerAnswers, long answer)
        : m_hasHandler(hasHandler), m_handlerAnswers(handlerAnswers), m_answer(answer) {}

    std::wstring GetScriptName() const override { return L"fuzz"; }
    std::wstring GetScriptLanguage() const override { return L"Fuzz"; }
    void CancelScript() override {}
    bool IsCancelRequested() const override { return false; }
    Value GetScriptVariable(const std::wstring& name) override {
        const long handler = 1;
        return m_hasHandler && name == L"VelmorandScript::EVENT_HANDLER_ROUTINE" ? Value(&handler)
                                                                                 : Value();
    }
    void SetScriptVariable(const std::wstring&, const Value&) override {}
    bool InvokeScriptFunction(const Value&, const std::vector<Value>& arguments, bool,
                              std::vector<Value>& results) const override {
        Require(arguments.size() == 2, "the handler receives the event type and the text");
        if (m_handlerAnswers) {
            results.push_back(Value(&m_answer));
        }
        return true;
    }

private:
    bool m_hasHandler;
    bool m_handlerAnswers;
    long m_answer;
};

Value PassThrough(const Value& source, boost::shared_ptr<IScriptContext>) {
    return source;
}

const std::vector<DataType>& TargetTypes() {
    static const std::vector<DataType> types{
        DataType(typeid(long)),         DataType(typeid(unsigned long)), DataType(typeid(int)),
        DataType(typeid(unsigned int)), DataType(typeid(double)),        DataType(typeid(float)),
        DataType(typeid(bool)),         DataType(typeid(unsigned char)), DataType(typeid(char)),
        DataType(typeid(std::wstring)), DataType(typeid(Value)),         DataType(typeid(DataType)),
        DataType(typeid(IObject)),      DataType(typeid(void))};
    return types;
}

/// Keeps the native values that by-reference values point to alive for one input.
struct Storage {
    long l;
    unsigned long ul;
    int i;
    unsigned int ui;
    double d;
    float f;
    bool b;
    unsigned char uc;
    char c;
    std::wstring s;
    DataType type{typeid(void)};
};

template <class T>
Value Make(const T& native, T& stored, int storage) {
    stored = native;
    switch (storage) {
        case 0:
            return Value(&stored);
        case 1:
            return Value(&stored, true, true);
        default:
            return Value(boost::make_shared<T>(native));
    }
}

Value MakeSource(FuzzedDataProvider& input, Storage& storage) {
    const int storageKind = input.ConsumeIntegralInRange(0, 2);
    switch (input.ConsumeIntegralInRange(0, 11)) {
        case 0:
            return Make(input.ConsumeIntegral<long>(), storage.l, storageKind);
        case 1:
            return Make(input.ConsumeIntegral<unsigned long>(), storage.ul, storageKind);
        case 2:
            return Make(input.ConsumeIntegral<int>(), storage.i, storageKind);
        case 3:
            return Make(input.ConsumeIntegral<unsigned int>(), storage.ui, storageKind);
        case 4:
            return Make(input.ConsumeFloatingPoint<double>(), storage.d, storageKind);
        case 5:
            return Make(input.ConsumeFloatingPoint<float>(), storage.f, storageKind);
        case 6:
            return Make(input.ConsumeBool(), storage.b, storageKind);
        case 7:
            return Make(input.ConsumeIntegral<unsigned char>(), storage.uc, storageKind);
        case 8:
            return Make(input.ConsumeIntegral<char>(), storage.c, storageKind);
        case 9:
            return Make(Common::ToWString(input.ConsumeRandomLengthString(48)), storage.s,
                        storageKind);
        case 10: {
            const auto& types = TargetTypes();
            const DataType type =
                types[input.ConsumeIntegralInRange<std::size_t>(0, types.size() - 1)];
            return Make(type, storage.type, storageKind);
        }
        default:
            return Value();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StandardConversions::RegisterDataConversions();
    // Wrappers for the handler's arguments, so that precision notices reach the handler.
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(DataType(typeid(long)), &PassThrough);
    registry.RegisterDataWrapperRoutine(DataType(typeid(std::wstring)), &PassThrough);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto& types = TargetTypes();
    const DataType target = types[input.ConsumeIntegralInRange<std::size_t>(0, types.size() - 1)];
    const bool throwIfNoConversion = input.ConsumeBool();

    boost::shared_ptr<IScriptContext> context;
    if (input.ConsumeBool()) {
        const bool hasHandler = input.ConsumeBool();
        const bool answers = input.ConsumeBool();
        context = boost::make_shared<FuzzContext>(hasHandler, answers,
                                                  input.ConsumeIntegralInRange<long>(0, 1));
        context->PushScriptCall(boost::make_shared<FuzzCall>());
    }

    Storage storage;
    Value value = MakeSource(input, storage);
    const Value original = value;
    const DataType source = value.GetType();

    try {
        const bool converted = ConversionRegistry::GetInstance().ConvertValue(
            target, context, value, throwIfNoConversion);
        if (converted) {
            Require(value.GetType() == target, "a converted value has the target type");
        } else {
            Require(!throwIfNoConversion, "ConvertValue never returns false when asked to throw");
            Require(value.GetValuePtr() == original.GetValuePtr() && value.GetType() == source,
                    "a value that found no conversion is unchanged");
        }
    } catch (const ScriptException&) {
        // A parse error or a requested abort. The value is unchanged or, when the second step
        // through the intermediate type failed, holds the intermediate String.
        const bool unchanged =
            value.GetValuePtr() == original.GetValuePtr() && value.GetType() == source;
        Require(unchanged || value.GetType() == DataType(typeid(std::wstring)),
                "a failed conversion leaves the value or the intermediate String");
    }
    if (context) {
        context->PopScriptCall();
    }
    return 0;
}
