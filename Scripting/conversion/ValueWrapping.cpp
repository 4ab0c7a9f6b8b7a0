#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Objects.h>

#include "conversion/RememberedLookups.h"
#include "errors/Format.h"

namespace VelmorandScript {

bool ConversionRegistry::WrapValue(boost::shared_ptr<IScriptContext> context, Value& value) const {
    // Arrays take the array wrapper whatever their derived type, and with logging on every
    // wrapping runs in full, so that its choice is logged.
    const bool remembering = !value.IsVector() && !IsScripLoggingEnabled();
    const std::type_info& derivedType = value.GetDerivedType().GetTypeInfo();
    if (remembering) {
        if (const ConversionRoutine remembered =
                m_remembered->wrappers.Find(&derivedType, nullptr)) {
            value = remembered(value, std::move(context));
            return true;
        }
    }
    WrapperTable::const_iterator wrapper = FindDataWrapperForData(value);
    if (wrapper == m_wrappers.end()) {
        ConversionTable::const_iterator conversion;
        if (!FindDataConversion(value, conversion, wrapper)) {
            return false;
        }
        ConvertData(conversion->second, context, value);
    } else if (remembering) {
        // The entry is the derived type's own: found under it or entered for it.
        m_remembered->wrappers.Remember(&derivedType, nullptr, wrapper->second);
    }
    value = wrapper->second(value, std::move(context));
    return true;
}

ConversionRegistry::WrapperTable::const_iterator ConversionRegistry::FindDataWrapperForData(
    const Value& value) const {
    const bool logging = IsScripLoggingEnabled();
    if (value.IsVector()) {
        // Arrays are wrapped only by the array wrapper, whatever else their types have.
        const WrapperTable::const_iterator arrayWrapper = FindWrapper(DataType(typeid(IArray)));
        if (logging) {
            Detail::WriteLogLine(L"Wrapping Value %1 using array wrapper for derived type %2",
                                 value.Dump(true), value.GetDerivedTypeName());
        }
        return arrayWrapper;
    }

    const DataType& derivedType = value.GetDerivedType();
    const WrapperTable::const_iterator derived = FindWrapper(derivedType);
    if (derived != m_wrappers.end()) {
        if (logging) {
            Detail::WriteLogLine(L"Wrapping Value %1 using wrapper for derived type %2",
                                 value.Dump(true), value.GetDerivedTypeName());
        }
        return derived;
    }

    const WrapperTable::const_iterator declared = FindWrapper(value.GetType());
    if (declared != m_wrappers.end()) {
        if (logging) {
            Detail::WriteLogLine(
                L"Wrapping Value %1 using wrapper for base type %2 instead of derived type %3 - "
                L"PLUS caching base wrapper for derived type",
                value.Dump(true), value.GetTypeName(), value.GetDerivedTypeName());
        }
        // Later values of the derived type then find the wrapper in one lookup. The entry
        // returned is the derived type's, which another thread may have entered first.
        return AddWrapper(derivedType, declared->second);
    }

    return CreateObjectWrapperRoutineIfClassInstance(value);
}

ConversionRegistry::WrapperTable::const_iterator
ConversionRegistry::CreateObjectWrapperRoutineIfClassInstance(const Value& value) const {
    if (!ClassRegistry::GetInstance().FindClassByCppType(value)) {
        if (IsScripLoggingEnabled()) {
            Detail::WriteLogLine(
                L"Unable to wrapping Value %1 of C++ type %2 - no an recognized script class",
                value.Dump(true), value.GetDerivedTypeName());
        }
        return m_wrappers.end();
    }

    const ConversionRoutine generic = GetCategoricalObjectWrapperRoutine(ClassInstanceCategory);
    if (!generic) {
        return m_wrappers.end();
    }
    if (IsScripLoggingEnabled()) {
        Detail::WriteLogLine(L"Using and registering generic wrapper for Value %1 of type %2",
                             value.Dump(true), value.GetDerivedTypeName());
    }
    return AddWrapper(value.GetDerivedType(), generic);
}

bool ConversionRegistry::FindDataConversion(const Value& value,
                                            ConversionTable::const_iterator& conversion,
                                            WrapperTable::const_iterator& wrapper) const {
    const DataType& derivedType = value.GetDerivedType();
    // The table is ordered by source type first, so the candidates form one run.
    for (ConversionTable::const_iterator entry = m_conversions.begin();
         entry != m_conversions.end(); ++entry) {
        const int order = entry->first.first.Compare(derivedType);
        if (order < 0) {
            continue;
        }
        if (order > 0) {
            break;
        }
        const WrapperTable::const_iterator found = FindWrapper(entry->first.second);
        if (found != m_wrappers.end()) {
            conversion = entry;
            wrapper = found;
            return true;
        }
    }
    return false;
}

}  // namespace VelmorandScript
