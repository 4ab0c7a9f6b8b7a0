#include <VelmorandScript/Conversion.h>

#include "conversion/RememberedLookups.h"

#include <mutex>
#include <shared_mutex>
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

ConversionRegistry::ConversionRegistry()
    : m_categories{nullptr, nullptr}, m_remembered(std::make_unique<RememberedLookups>()) {}

ConversionRegistry::ConversionRegistry(const ConversionRegistry& other)
    : m_conversions(other.m_conversions),
      m_intermediateTypes(other.m_intermediateTypes),
      m_wrappers(other.CopyWrappers()),
      m_categories{other.m_categories[0], other.m_categories[1]},
      m_remembered(std::make_unique<RememberedLookups>()) {}

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
    AddWrapper(type, routine);
}

ConversionRoutine ConversionRegistry::GetWrapperRoutine(const DataType& type) const {
    const WrapperTable::const_iterator found = FindWrapper(type);
    return found == m_wrappers.end() ? nullptr : found->second;
}

ConversionRegistry::WrapperTable ConversionRegistry::CopyWrappers() const {
    const std::shared_lock<std::shared_mutex> reading(m_wrapperLock);
    return m_wrappers;
}

ConversionRegistry::WrapperTable::const_iterator ConversionRegistry::FindWrapper(
    const DataType& type) const {
    const std::shared_lock<std::shared_mutex> reading(m_wrapperLock);
    return m_wrappers.find(type);
}

ConversionRegistry::WrapperTable::const_iterator ConversionRegistry::AddWrapper(
    const DataType& type, ConversionRoutine routine) const {
    const std::unique_lock<std::shared_mutex> writing(m_wrapperLock);
    return m_wrappers.emplace(type, routine).first;
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
