#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Hosting.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <string>

namespace VelmorandScript {
namespace Hosting {

namespace {

std::wstring NameOf(const Argument& argument) {
    return argument.GetName() != nullptr ? argument.GetName() : L"";
}

std::wstring ScriptTypeOf(const Argument& argument) {
    return argument.GetScriptType() != nullptr ? argument.GetScriptType()
                                               : argument.GetType().GetName();
}

// The library's text for a value that does not convert, with the value named in script words.
std::wstring NoConversionText(const char* scriptWord, const Argument& argument) {
    Common::CfxFormat format(Messages::NoConversion);
    format << Common::ToWString(scriptWord) << ScriptTypeOf(argument);
    return format.ToString();
}

class ArgumentBuilder {
public:
    ArgumentBuilder(ArgumentSource& source, const IScriptCall& frame)
        : m_source(source), m_frame(frame) {}

    void Build(const IFunction& function, std::vector<Value>& values) {
        const std::vector<Argument>& arguments = function.GetArguments();
        values.resize(arguments.size());
        const int count = m_source.GetCount();
        int index = 0;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const Argument& argument = arguments[i];
            if (IsContextArgument(argument)) {
                values[i] = Value(m_source.GetContext());
            } else if (IsScriptInputStyle(argument.GetStyle())) {
                if (index >= count ||
                    !m_source.StorePlainNumber(index, argument.GetType(), values[i])) {
                    values[i] = BuildInput(argument, index, count);
                }
                ++index;
            } else if (!values[i].IsEmpty()) {
                values[i] = Value();
            }
        }
        RejectExtraValues(index, count);
    }

private:
    Value BuildInput(const Argument& argument, int index, int count) {
        const unsigned int number = static_cast<unsigned int>(index);
        const bool given = index < count;
        if (!given || m_source.IsNothing(index)) {
            if (argument.IsOptional()) {
                return DefaultValue(argument, number);
            }
            if (!given) {
                GenerateArgumentError(L"Missing argument '" + NameOf(argument) + L"'", &m_frame,
                                      number, NameOf(argument));
            }
            if (argument.GetType() != DataType(typeid(Value))) {
                GenerateArgumentError(
                    L"Expected " + ScriptTypeOf(argument) + L", got " + m_source.GetNothingWord(),
                    &m_frame, number, NameOf(argument));
            }
        }
        return Convert(m_source.Read(index, argument), argument, number,
                       m_source.GetScriptWord(index));
    }

    Value DefaultValue(const Argument& argument, unsigned int number) {
        Value value = argument.GetDefaultValue();
        if (value.IsEmpty()) {
            value = ValueFactory::GetFactory().CreateObject(argument.GetType());
        }
        return value.IsEmpty() ? value : Convert(value, argument, number, nullptr);
    }

    /// Converts to the argument's type; a failure names the value by `scriptWord`, when given,
    /// instead of its native type.
    Value Convert(Value value, const Argument& argument, unsigned int number,
                  const char* scriptWord) {
        if (value.GetType() == argument.GetType()) {
            return value;
        }
        try {
            ConversionRegistry::GetInstance().ConvertValue(argument.GetType(),
                                                           m_source.GetContext(), value, true);
        } catch (const ScriptAbortException&) {
            throw;
        } catch (const ScriptCancelException&) {
            throw;
        } catch (const ScriptException& error) {
            if (m_source.IsHostError(error)) {
                throw;
            }
            GenerateArgumentError(scriptWord == nullptr ? error.GetExceptionMessage()
                                                        : NoConversionText(scriptWord, argument),
                                  &m_frame, number, NameOf(argument));
        }
        return value;
    }

    void RejectExtraValues(int expected, int count) {
        // Trailing nothings are what some languages pass for absent values; only real values
        // are extra.
        while (count > expected && m_source.IsNothing(count - 1)) {
            --count;
        }
        if (count > expected) {
            const unsigned int number = static_cast<unsigned int>(expected);
            GenerateArgumentError(
                L"Too many arguments: the function takes " + std::to_wstring(number), &m_frame,
                number, L"");
        }
    }

    ArgumentSource& m_source;
    const IScriptCall& m_frame;
};

}  // namespace

ArgumentSource::~ArgumentSource() = default;

bool ArgumentSource::StorePlainNumber(int, const DataType&, Value&) {
    return false;
}

bool ArgumentSource::IsHostError(const ScriptException&) const {
    return false;
}

const wchar_t* ArgumentSource::GetNothingWord() const {
    return L"nil";
}

void BuildArguments(const IFunction& function, ArgumentSource& source, const IScriptCall& frame,
                    std::vector<Value>& values) {
    ArgumentBuilder(source, frame).Build(function, values);
}

}  // namespace Hosting
}  // namespace VelmorandScript
