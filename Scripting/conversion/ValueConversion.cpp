#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>

#include "conversion/RememberedLookups.h"
#include "errors/Format.h"

namespace VelmorandScript {

namespace {

// Built on the first search that asks for it and kept until unload.
const DataType& ValueDataType() {
    static const DataType valueType(typeid(Value));
    return valueType;
}

}  // namespace

bool ConversionRegistry::ConvertValue(const DataType& target,
                                      boost::shared_ptr<IScriptContext> context, Value& value,
                                      bool throwIfNoConversion) const {
    const ConversionTable::value_type* const direct = FindDirectConversion(value.GetType(), target);
    if (direct != nullptr) {
        if (IsScripLoggingEnabled()) {
            Detail::WriteLogLine(L"Converting Value %1 from %2 to %3", value.Dump(true),
                                 value.GetTypeName(), target.GetName());
        }
        ConvertData(direct->second, std::move(context), value);
        return true;
    }
    if (target == ValueDataType()) {
        // Boxing: the new value owns a copy of the old one, which shares the old holder.
        value = Value(&value);
        return true;
    }
    if (ConvertValueIndirectly(target, context, value, false)) {
        return true;
    }
    if (throwIfNoConversion) {
        Detail::RaiseMessage(Messages::NoConversion, value.GetTypeName(), target.GetName());
    }
    return false;
}

bool ConversionRegistry::ConvertValueIndirectly(const DataType& target,
                                                boost::shared_ptr<IScriptContext> context,
                                                Value& value, bool /*throwIfNoConversion*/) const {
    const DataType& source = value.GetType();
    for (const DataType& intermediate : m_intermediateTypes) {
        if (HasDataConversion(source, intermediate) && HasDataConversion(intermediate, target)) {
            // Only the first qualifying intermediate type is tried; the legs are not undone
            // together when the second one fails.
            return ConvertValue(intermediate, context, value, false) &&
                   ConvertValue(target, context, value, false);
        }
    }
    return false;
}

const ConversionRegistry::ConversionTable::value_type* ConversionRegistry::FindDirectConversion(
    const DataType& from, const DataType& to) const {
    const std::type_info& fromType = from.GetTypeInfo();
    const std::type_info& toType = to.GetTypeInfo();
    if (const ConversionTable::value_type* remembered =
            m_remembered->conversions.Find(&fromType, &toType)) {
        return remembered;
    }
    const ConversionTable::const_iterator found = m_conversions.find(std::make_pair(from, to));
    if (found == m_conversions.end()) {
        return nullptr;
    }
    m_remembered->conversions.Remember(&fromType, &toType, &*found);
    return &*found;
}

void ConversionRegistry::ConvertData(ConversionRoutine routine,
                                     boost::shared_ptr<IScriptContext> context, Value& value) {
    // The value is replaced only once the routine has returned, so a throwing routine leaves it
    // as it was.
    value = routine(value, std::move(context));
}

}  // namespace VelmorandScript
