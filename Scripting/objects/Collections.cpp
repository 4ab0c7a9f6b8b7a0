#include <VelmorandScript/Objects.h>

#include <utility>

// The collection interfaces add nothing to Object's state; their value constructors are
// Object's. The pure operations that have bodies report no items and change nothing, so a
// derived wrapper or storage can fall back on them explicitly.

namespace VelmorandScript {

ICollection::ICollection(boost::shared_ptr<Class> scriptClass, const Value& value)
    : Object(std::move(scriptClass), value) {}
ICollection::ICollection(const std::wstring& scriptName, const Value& value)
    : Object(scriptName, value) {}
ICollection::ICollection(const ICollection& other) = default;
ICollection::~ICollection() = default;

IArray::IArray(boost::shared_ptr<Class> scriptClass, const Value& value)
    : ICollection(std::move(scriptClass), value) {}
IArray::IArray(const std::wstring& scriptName, const Value& value)
    : ICollection(scriptName, value) {}
IArray::IArray(const IArray& other) = default;
IArray::~IArray() = default;

long IArray::Count() const {
    return 0;
}
bool IArray::IsEmpty() const {
    return true;
}
void IArray::Clear() {}
void IArray::Add(const Value& /*item*/, bool /*atFront*/) {}
void IArray::Count(long /*capacity*/) {}
void IArray::Delete(long /*index*/) {}
void IArray::Insert(long /*index*/, const Value& /*item*/) {}
Value IArray::Item(long /*index*/) const {
    return Value();
}
void IArray::Replace(long /*index*/, const Value& /*item*/) {}

IHash::IHash(boost::shared_ptr<Class> scriptClass, const Value& value)
    : ICollection(std::move(scriptClass), value) {}
IHash::IHash(const std::wstring& scriptName, const Value& value) : ICollection(scriptName, value) {}
IHash::IHash(const IHash& other) = default;
IHash::~IHash() = default;

IFilter::IFilter(boost::shared_ptr<Class> scriptClass, const Value& value)
    : Object(std::move(scriptClass), value) {}
IFilter::IFilter(const std::wstring& scriptName, const Value& value) : Object(scriptName, value) {}
IFilter::IFilter(const IFilter& other) = default;
IFilter::~IFilter() = default;

IIterator::IIterator(boost::shared_ptr<Class> scriptClass, const Value& value)
    : Object(std::move(scriptClass), value) {}
IIterator::IIterator(const std::wstring& scriptName, const Value& value)
    : Object(scriptName, value) {}
IIterator::IIterator(const IIterator& other) = default;
IIterator::~IIterator() = default;

IArrayValue::~IArrayValue() = default;

void IArrayValue::Add(const Value& /*item*/, bool /*atFront*/) {}
void IArrayValue::Clear() {}
void IArrayValue::Count(long /*capacity*/) {}
long IArrayValue::Count() const {
    return 0;
}
void IArrayValue::Delete(long /*index*/) {}
void IArrayValue::Insert(long /*index*/, const Value& /*item*/) {}
bool IArrayValue::IsEmpty() const {
    return true;
}
Value IArrayValue::Item(long /*index*/) const {
    return Value();
}
void IArrayValue::Replace(long /*index*/, const Value& /*item*/) {}

IHashValue::~IHashValue() = default;

void IHashValue::Add(const std::wstring& /*key*/, const Value& /*item*/) {}
void IHashValue::Clear() {}
long IHashValue::Count() const {
    return 0;
}
void IHashValue::Delete(const std::wstring& /*key*/) {}
bool IHashValue::Exists(const std::wstring& /*key*/) const {
    return false;
}
std::wstring IHashValue::FirstKey() const {
    return std::wstring();
}
std::wstring IHashValue::NextKey(const std::wstring& /*key*/) const {
    return std::wstring();
}
void IHashValue::Replace(const std::wstring& /*key*/, const Value& /*item*/) {}

}  // namespace VelmorandScript
