#include <VelmorandScript/Values.h>

namespace VelmorandScript {

ValueFactory::ValueFactory() {}

ValueFactory::ValueFactory(const ValueFactory& other) : m_creators(other.m_creators) {}

ValueFactory& ValueFactory::operator=(const ValueFactory& other) {
    if (this != &other) {
        m_creators = other.m_creators;
    }
    return *this;
}

ValueFactory::~ValueFactory() {}

ValueFactory& ValueFactory::GetFactory() {
    static ValueFactory factory;
    return factory;
}

bool ValueFactory::AddCreator(const DataType& type, Creator creator) {
    return m_creators.emplace(type, creator).second;
}

bool ValueFactory::RemoveCreator(const DataType& type) {
    return m_creators.erase(type) == 1;
}

Value ValueFactory::CreateObject(const DataType& type) const {
    const std::map<DataType, Creator>::const_iterator entry = m_creators.find(type);
    return entry == m_creators.end() ? Value() : entry->second();
}

}  // namespace VelmorandScript
