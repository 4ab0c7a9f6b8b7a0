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

/// The native conversion, neither tested nor reported: for pairs whose way back always restores
/// the source, and for double to float, whose rounding the script expects.
template <class From, class To>
Value ConvertUntested(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const To result = Detail::ConvertNumber<To>(ReadNumber<From>(source));
    return Value(&result);
}

/// The precision-tested conversion: the native one, with a warning to the script when converting
/// back does not restore the source (a NaN source never compares equal, so it is always reported).
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

/// String to a number: the whole text parsed as one number; integers in base 10.
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

/// A number to String: the number as the formatter writes it.
template <class From>
Value FormatNumber(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    Common::CfxFormat format;
    Detail::Insert(format, ReadNumber<From>(source));
    const std::wstring text = format.ToString();
    return Value(&text);
}

/// A DataType to String: its script-readable name.
Value NameDataType(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const std::wstring name = GetAs<DataType>(source).GetName();
    return Value(&name);
}

/// An IArray to an IObject: the same wrapper seen as an IObject; a null array stays null.
Value ArrayAsObject(const Value& source, boost::shared_ptr<IScriptContext> /*context*/) {
    const IObject* object = CastTo<IArray>(&source, false);
    return Value(object);
}

/// How one direction of a number pair converts: Exact, when converting back always restores the
/// source (the same bit pattern among the 32-bit integers, between the two character types, float
/// to double); Tested, when it may lose something and the script is warned if it does; Untested,
/// for double to float, which rounds without a warning.
enum Rule { Exact, Tested, Untested };

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
    ConversionRegistry& registry = ConversionRegistry::GetInstance();

    // The numbers, bool and the characters: each type with every type after it in this order
    // (long, unsigned long, int, unsigned int, double, float, bool, unsigned char, char) that
    // it converts to, first that way, then back. The integers convert to every other type, the
    // floating-point types to the integers and each other, bool and the characters to the
    // integers and each other.
    RegisterPair<long, unsigned long, Exact, Exact>(registry);
    RegisterPair<long, int, Exact, Exact>(registry);
    RegisterPair<long, unsigned int, Exact, Exact>(registry);
    RegisterPair<long, double, Tested, Tested>(registry);
    RegisterPair<long, float, Tested, Tested>(registry);
    RegisterPair<long, bool, Tested, Tested>(registry);
    RegisterPair<long, unsigned char, Tested, Tested>(registry);
    RegisterPair<long, char, Tested, Tested>(registry);

    RegisterPair<unsigned long, int, Exact, Exact>(registry);
    RegisterPair<unsigned long, unsigned int, Exact, Exact>(registry);
    RegisterPair<unsigned long, double, Tested, Tested>(registry);
    RegisterPair<unsigned long, float, Tested, Tested>(registry);
    RegisterPair<unsigned long, bool, Tested, Tested>(registry);
    RegisterPair<unsigned long, unsigned char, Tested, Tested>(registry);
    RegisterPair<unsigned long, char, Tested, Tested>(registry);

    RegisterPair<int, unsigned int, Exact, Exact>(registry);
    RegisterPair<int, double, Tested, Tested>(registry);
    RegisterPair<int, float, Tested, Tested>(registry);
    RegisterPair<int, bool, Tested, Tested>(registry);
    RegisterPair<int, unsigned char, Tested, Tested>(registry);
    RegisterPair<int, char, Tested, Tested>(registry);

    RegisterPair<unsigned int, double, Tested, Tested>(registry);
    RegisterPair<unsigned int, float, Tested, Tested>(registry);
    RegisterPair<unsigned int, bool, Tested, Tested>(registry);
    RegisterPair<unsigned int, unsigned char, Tested, Tested>(registry);
    RegisterPair<unsigned int, char, Tested, Tested>(registry);

    RegisterPair<double, float, Untested, Exact>(registry);

    RegisterPair<bool, unsigned char, Tested, Tested>(registry);
    RegisterPair<bool, char, Tested, Tested>(registry);

    RegisterPair<unsigned char, char, Exact, Exact>(registry);

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
