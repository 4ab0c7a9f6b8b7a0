#include <VelmorandScript/Conversion.h>

#include <stdexcept>
#include <string>

namespace VelmorandScript {

namespace {

// The category table has exactly two slots; anything else is a caller error that must not reach
// the array.
std::size_t CategorySlot(ConversionRegistry::ObjectCategory category) {
    if (category != ConversionRegistry::ClassInstanceCategory &&
        category != ConversionRegistry::OtherObjectCategory) {
        throw std::out_of_range("ConversionRegistry: object category " +
                                std::to_string(static_cast<int>(category)) +
                                " does not exist; use ClassInstanceCategory (0) or "
                                "OtherObjectCategory (1)");
    }
    return static_cast<std::size_t>(category);
}

}  // namespace

ConversionRegistry& ConversionRegistry::GetInstance() {
    // A function-local static: built on first use, destroyed at unload, and built anew on the
    // next call when its construction threw.
    static ConversionRegistry instance;
    return instance;
}

ConversionRegistry::ConversionRegistry() : m_categories{nullptr, nullptr} {}

ConversionRegistry::ConversionRegistry(const ConversionRegistry& other) = default;

ConversionRegistry::~ConversionRegistry() = default;

void ConversionRegistry::RegisterDataConversion(const DataType& from, const DataType& to,
                                                ConversionRoutine routine) {
    m_conversions.emplace(std::make_pair(from, to), routine);
}

void ConversionRegistry::RegisterIntermediateConversionDataType(const DataType& type) {
    m_intermediateTypes.insert(type);
}

void ConversionRegistry::RegisterDataWrapperRoutine(const DataType& type,
                                                    ConversionRoutine routine) {
    m_wrappers.emplace(type, routine);
}

ConversionRoutine ConversionRegistry::GetWrapperRoutine(const DataType& type) const {
    const WrapperTable::const_iterator found = m_wrappers.find(type);
    return found == m_wrappers.end() ? nullptr : found->second;
}

void ConversionRegistry::RegisterCategoricalObjectWrapperRoutine(ObjectCategory category,
                                                                 ConversionRoutine routine) {
    m_categories[CategorySlot(category)] = routine;
}

ConversionRoutine ConversionRegistry::GetCategoricalObjectWrapperRoutine(
    ObjectCategory category) const {
    return m_categories[CategorySlot(category)];
}

void ConversionRegistry::RegisterObjectTypeCategory(const DataType& type, ObjectCategory category) {
    // The type receives the slot's routine as it is now; later changes of the slot do not
    // reach it.
    if (const ConversionRoutine routine = GetCategoricalObjectWrapperRoutine(category)) {
        RegisterDataWrapperRoutine(type, routine);
    }
}

bool ConversionRegistry::HasDataConversion(const DataType& from, const DataType& to) const {
    return m_conversions.find(std::make_pair(from, to)) != m_conversions.end();
}

bool ConversionRegistry::IsIntermediateConversionDataType(const DataType& type) const {
    return m_intermediateTypes.find(type) != m_intermediateTypes.end();
}

}  // namespace VelmorandScript
