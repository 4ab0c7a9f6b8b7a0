#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Objects.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <string>
#include <type_traits>

#include "conversion/NumberConversion.h"
#include "errors/Format.h"

namespace VelmorandScript {

namespace {

template <class T>
const std::wstring& NameOf() {
    static const std::wstring name = DataType(typeid(T)).GetName();
    return name;
}

/// The source number as the conversions see it: long and unsigned long by their low 32 bits.
template <class T>
T ReadNumber(const Value& source) {
    const T number = GetAs<T>(source);
    if constexpr (Detail::IsInteger32<T>) {
        return Detail::Normalize32(number);
    } else {
        return number;
    }
}

// How a number appears in the precision notice: characters as themselves, unsigned characters
// as numbers 0 to 255; everything else as the formatter writes its type.
inline std::wstring ForNotice(char number) {
    return std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(number)));
}
inline unsigned int ForNotice(unsigned char number) {
    return number;
}
template <class T>
T ForNotice(T number) {
    return number;
}

/// Rules E and U: the native conversion, neither tested nor reported.
template <class From, class To>
Value ConvertUntested(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const To result = Detail::ConvertNumber<To>(ReadNumber<From>(source));
    return Value(&result);
}

/// Rule K: the native conversion, with a warning to the script when converting back does not
/// restore the source (a NaN source never compares equal, so it is always reported).
template <class From, class To>
Value ConvertTested(const Value& source, boost::shared_ptr<IScriptContext> context) {
    const From original = ReadNumber<From>(source);
    const To result = Detail::ConvertNumber<To>(original);
    if (context && !(Detail::ConvertNumber<From>(result) == original)) {
        context->NotifyScript(
            Detail::FormatMessage(Messages::LossOfPrecision, NameOf<From>(), NameOf<To>(),
                                  ForNotice(original), ForNotice(result)),
            WarningEvent);
    }
    return Value(&result);
}

/// Rule P: a string parsed as a number; integers in base 10.
template <class To>
Value ParseString(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    // Read in place: the routine is registered for String sources only, and the text is not
    // needed beyond the parse.
    const std::wstring& text = *CastTo<std::wstring>(&source, true);
    To result{};
    bool parsed;
    if constexpr (Detail::IsFloating<To>) {
        parsed = Common::ToValue(text, result);
    } else {
        parsed = Common::ToValue(text, result, 10);
    }
    if (!parsed) {
        Detail::RaiseMessage(Messages::StringConversionFailed, text, NameOf<To>());
    }
    return Value(&result);
}

/// Rule T: a number as the formatter writes it.
template <class From>
Value FormatNumber(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    Common::CfxFormat format;
    Detail::Insert(format, ReadNumber<From>(source));
    const std::wstring text = format.ToString();
    return Value(&text);
}

/// Rule N: a DataType as its script-readable name.
Value NameDataType(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const std::wstring name = GetAs<DataType>(source).GetName();
    return Value(&name);
}

/// Rule O: the same wrapper seen as an IObject; a null array stays null.
Value ArrayAsObject(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const IObject* object = CastTo<IArray>(&source, false);
    return Value(object);
}

enum class Rule { Exact, Tested, Untested };

template <class From, class To, Rule rule>
void Register(ConversionRegistry& registry) {
    ConversionRoutine routine;
    if constexpr (rule == Rule::Tested) {
        routine = &ConvertTested<From, To>;
    } else {
        routine = &ConvertUntested<From, To>;
    }
    registry.RegisterDataConversion(DataType(typeid(From)), DataType(typeid(To)), routine);
}

/// Registers A -> B, then B -> A.
template <class A, class B, Rule forward, Rule backward>
void RegisterPair(ConversionRegistry& registry) {
    Register<A, B, forward>(registry);
    Register<B, A, backward>(registry);
}

template <class Number>
void RegisterStringPair(ConversionRegistry& registry) {
    const DataType number(typeid(Number));
    const DataType string(typeid(std::wstring));
    registry.RegisterDataConversion(number, string, &FormatNumber<Number>);
    registry.RegisterDataConversion(string, number, &ParseString<Number>);
}

}  // namespace

void StandardConversions::RegisterDataConversions() {
    constexpr Rule E = Rule::Exact;
    constexpr Rule K = Rule::Tested;
    constexpr Rule U = Rule::Untested;
    ConversionRegistry& registry = ConversionRegistry::GetInstance();

    // The numbers, bool and the characters, row by row of the upper half of the table.
    RegisterPair<long, unsigned long, E, E>(registry);
    RegisterPair<long, int, E, E>(registry);
    RegisterPair<long, unsigned int, E, E>(registry);
    RegisterPair<long, double, K, K>(registry);
    RegisterPair<long, float, K, K>(registry);
    RegisterPair<long, bool, K, K>(registry);
    RegisterPair<long, unsigned char, K, K>(registry);
    RegisterPair<long, char, K, K>(registry);

    RegisterPair<unsigned long, int, E, E>(registry);
    RegisterPair<unsigned long, unsigned int, E, E>(registry);
    RegisterPair<unsigned long, double, K, K>(registry);
    RegisterPair<unsigned long, float, K, K>(registry);
    RegisterPair<unsigned long, bool, K, K>(registry);
    RegisterPair<unsigned long, unsigned char, K, K>(registry);
    RegisterPair<unsigned long, char, K, K>(registry);

    RegisterPair<int, unsigned int, E, E>(registry);
    RegisterPair<int, double, K, K>(registry);
    RegisterPair<int, float, K, K>(registry);
    RegisterPair<int, bool, K, K>(registry);
    RegisterPair<int, unsigned char, K, K>(registry);
    RegisterPair<int, char, K, K>(registry);

    RegisterPair<unsigned int, double, K, K>(registry);
    RegisterPair<unsigned int, float, K, K>(registry);
    RegisterPair<unsigned int, bool, K, K>(registry);
    RegisterPair<unsigned int, unsigned char, K, K>(registry);
    RegisterPair<unsigned int, char, K, K>(registry);

    RegisterPair<double, float, U, E>(registry);

    RegisterPair<bool, unsigned char, K, K>(registry);
    RegisterPair<bool, char, K, K>(registry);

    RegisterPair<unsigned char, char, E, E>(registry);

    // The numbers and their text.
    RegisterStringPair<long>(registry);
    RegisterStringPair<unsigned long>(registry);
    RegisterStringPair<int>(registry);
    RegisterStringPair<unsigned int>(registry);
    RegisterStringPair<double>(registry);
    RegisterStringPair<float>(registry);

    registry.RegisterIntermediateConversionDataType(DataType(typeid(std::wstring)));

    registry.RegisterDataConversion(DataType(typeid(DataType)), DataType(typeid(std::wstring)),
                                    &NameDataType);
    registry.RegisterDataConversion(DataType(typeid(IArray)), DataType(typeid(IObject)),
                                    &ArrayAsObject);
}

}  // namespace VelmorandScript
