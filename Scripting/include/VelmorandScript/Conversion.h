#pragma once

/// @file
/// Conversion: the process-wide registry of conversions and wrapper routines, the in-place
/// conversion of a Value to a requested type, the wrapping of native values for scripts, the
/// standard conversions, and the converting reads of a Value as a native type.

#include <VelmorandScript/Export.h>
#include <VelmorandScript/Values.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <shared_mutex>
#include <typeinfo>
#include <utility>

namespace VelmorandScript {

class IScriptContext;

/// A conversion or wrapper routine: returns `source` converted to the routine's target type
/// (or, for a wrapper, the value the script receives). `context` may be empty: no script is
/// involved and the routine must not reach for one.
typedef Value (*ConversionRoutine)(const Value& source, boost::shared_ptr<IScriptContext> context);

/// The process-wide catalogue of conversions between data types, intermediate types, wrapper
/// routines and the two categorical wrapper slots. Registration is first-wins (except for the
/// category slots, which are overwritten); nothing is ever removed.
class VELMORAND_API ConversionRegistry {
public:
    /// The categorical wrapper slots.
    enum ObjectCategory {
        /// The generic wrapper for instances of registered script classes.
        ClassInstanceCategory = 0,
        /// A second slot, reached only through RegisterObjectTypeCategory.
        OtherObjectCategory = 1
    };

    /// The single instance, created on first use and destroyed at unload.
    static ConversionRegistry& GetInstance();

    /// Copies every table and slot of `other`.
    ConversionRegistry(const ConversionRegistry& other);
    ~ConversionRegistry();

    /// Adds the conversion from `from` to `to` (ordered: B to A is a separate entry). An
    /// existing entry for the pair is kept, silently.
    void RegisterDataConversion(const DataType& from, const DataType& to,
                                ConversionRoutine routine);
    /// Lets ConvertValue go through values of `type` in two-step conversions.
    void RegisterIntermediateConversionDataType(const DataType& type);
    /// Gives `type` its wrapper routine. An existing routine for the type is kept, silently.
    void RegisterDataWrapperRoutine(const DataType& type, ConversionRoutine routine);
    /// The routine registered for exactly this type, or null.
    ConversionRoutine GetWrapperRoutine(const DataType& type) const;
    /// Fills a category slot (null empties it). Throws std::out_of_range for another category.
    void RegisterCategoricalObjectWrapperRoutine(ObjectCategory category,
                                                 ConversionRoutine routine);
    /// Gives the type the category's current routine as its wrapper routine, unless the type
    /// has one. Throws std::out_of_range for a category other than 0 or 1.
    void RegisterObjectTypeCategory(const DataType& type, ObjectCategory category);

    /// Converts `value` in place to `target`: a direct conversion, boxing into a Value, or two
    /// steps through one intermediate type. Returns false when no way exists, or throws message
    /// 0xED0003 when `throwIfNoConversion`. Exceptions of the routines pass through.
    bool ConvertValue(const DataType& target, boost::shared_ptr<IScriptContext> context,
                      Value& value, bool throwIfNoConversion) const;

    /// Replaces `value` by what the script receives: the array wrapper for vector values, the
    /// wrapper of the derived or declared type, the generic class-instance wrapper, or a
    /// conversion to a type that has a wrapper. False, the value unchanged, when none applies.
    bool WrapValue(boost::shared_ptr<IScriptContext> context, Value& value) const;

    // Read access for diagnostics and tests.
    /// The number of registered direct conversions.
    std::size_t GetConversionCount() const { return m_conversions.size(); }
    /// Whether a direct conversion from `from` to `to` is registered.
    bool HasDataConversion(const DataType& from, const DataType& to) const;
    /// Whether `type` was registered as an intermediate type.
    bool IsIntermediateConversionDataType(const DataType& type) const;

private:
    /// Orders (from, to) keys by the from type, then by the to type: the order of std::pair,
    /// with one comparison per type instead of up to three.
    struct ConversionKeyLess {
        bool operator()(const std::pair<DataType, DataType>& a,
                        const std::pair<DataType, DataType>& b) const {
            const int byFrom = a.first.Compare(b.first);
            return byFrom != 0 ? byFrom < 0 : a.second.Compare(b.second) < 0;
        }
    };
    typedef std::map<std::pair<DataType, DataType>, ConversionRoutine, ConversionKeyLess>
        ConversionTable;
    typedef std::map<DataType, ConversionRoutine> WrapperTable;

    /// What lookups found, by the addresses of the type_info objects asked for (internal).
    struct RememberedLookups;

    ConversionRegistry();

    ConversionRoutine GetCategoricalObjectWrapperRoutine(ObjectCategory category) const;
    /// The conversion table's entry for (from, to), or null.
    const ConversionTable::value_type* FindDirectConversion(const DataType& from,
                                                            const DataType& to) const;
    bool ConvertValueIndirectly(const DataType& target, boost::shared_ptr<IScriptContext> context,
                                Value& value, bool throwIfNoConversion) const;
    static void ConvertData(ConversionRoutine routine, boost::shared_ptr<IScriptContext> context,
                            Value& value);
    /// A copy of the wrapper table, taken under its lock.
    WrapperTable CopyWrappers() const;
    /// The wrapper table's entry for the type, or its end; under the table's reader lock.
    WrapperTable::const_iterator FindWrapper(const DataType& type) const;
    /// Enters the routine for the type unless the type has one; the entry of the type either way.
    WrapperTable::const_iterator AddWrapper(const DataType& type, ConversionRoutine routine) const;
    WrapperTable::const_iterator FindDataWrapperForData(const Value& value) const;
    WrapperTable::const_iterator CreateObjectWrapperRoutineIfClassInstance(
        const Value& value) const;
    bool FindDataConversion(const Value& value, ConversionTable::const_iterator& conversion,
                            WrapperTable::const_iterator& wrapper) const;

    ConversionTable m_conversions;
    std::set<DataType> m_intermediateTypes;
    /// Wrapping adds entries (the wrappers it found for derived types), and may run on several
    /// threads at once: every find and insertion takes m_wrapperLock. Entries are never removed
    /// or changed, so an iterator stays valid without it.
    mutable WrapperTable m_wrappers;
    mutable std::shared_mutex m_wrapperLock;
    ConversionRoutine m_categories[2];
    /// Made with the registry; a copy starts with its own, empty: the entries it points to
    /// belong to another registry's tables.
    std::unique_ptr<RememberedLookups> m_remembered;
};

/// The library's built-in conversions among long, unsigned long, int, unsigned int, double,
/// float, bool, unsigned char, char and String, with String as the intermediate type.
///
/// `long` and `unsigned long` are 64 bits wide on this platform but convert as 32-bit types:
/// a long is read as its low 32 bits and a long result holds the 32-bit result sign-extended
/// (unsigned long: zero-extended). A numeric conversion that cannot be undone without change
/// sends message 0xED000B as a WarningEvent notice to the context, when one is given.
class VELMORAND_API StandardConversions {
public:
    /// Registers the 74 conversions and the intermediate type. A second call changes nothing.
    static void RegisterDataConversions();
};

/// Reads `value` as a number type T, converting first when the value holds another number type;
/// for any other T, or a value that is no number, returns `value` unconverted. The converted
/// value is put into `scratch`.
template <class T>
const Value* ConvertNumberForCast(const Value& value, Value& scratch) {
    if constexpr (Detail::IsNumberType<T>::value) {
        const DataType wanted(typeid(T));
        if (!value.IsNumber() || value.GetType() == wanted) {
            return &value;
        }
        scratch = value;
        if (ConversionRegistry::GetInstance().ConvertValue(
                wanted, boost::shared_ptr<IScriptContext>(), scratch, true)) {
            return &scratch;
        }
        return &value;
    } else {
        (void)scratch;
        return &value;
    }
}

/// Reads `value` as a T: numbers convert between number types; anything else must have the
/// declared type T and a non-null native value. Throws ScriptException otherwise.
template <class T>
T GetAs(const Value& value) {
    // The usual case, a non-null value made as a T, is read directly: it needs no conversion
    // and passes every check.
    if (&value.GetType().GetTypeInfo() == &typeid(T)) {
        if (const void* const pointer = value.GetValuePtr()) {
            return *static_cast<const T*>(pointer);
        }
    }
    Value scratch;
    return *CastTo<T>(ConvertNumberForCast<T>(value, scratch), true);
}

}  // namespace VelmorandScript
