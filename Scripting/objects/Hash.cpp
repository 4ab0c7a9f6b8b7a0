#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Objects.h>

namespace VelmorandScript {

// The class comes from the value's native type; the storage belongs to the caller.
Hash::Hash(IHashValue* storage, const Value& value)
    : IHash(boost::shared_ptr<Class>(), value), m_storage(storage) {}

Hash::Hash(const Hash& other) : IHash(other), m_storage(other.m_storage) {}

Hash::~Hash() = default;

Value Hash::GetScriptedObject() const {
    return Value(static_cast<const IHash*>(this));
}

long Hash::Count() const {
    return m_storage->Count();
}

bool Hash::IsEmpty() const {
    return m_storage->IsEmpty();
}

void Hash::Clear() {
    m_storage->Clear();
}

void Hash::Add(const std::wstring& key, const Value& item) {
    m_storage->Add(key, item);
}

void Hash::Delete(const std::wstring& key) {
    m_storage->Delete(key);
}

bool Hash::Exists(const std::wstring& key) const {
    return m_storage->Exists(key);
}

std::wstring Hash::FirstKey() const {
    return m_storage->FirstKey();
}

void Hash::Insert(const std::wstring& key, const Value& item) {
    m_storage->Insert(key, item);
}

Value Hash::Item(const std::wstring& key) const {
    return m_storage->Item(key);
}

std::wstring Hash::NextKey(const std::wstring& key) const {
    return m_storage->NextKey(key);
}

void Hash::Replace(const std::wstring& key, const Value& item) {
    m_storage->Replace(key, item);
}

}  // namespace VelmorandScript
