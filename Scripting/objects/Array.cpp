#include <VelmorandScript/Objects.h>

#include <utility>

namespace VelmorandScript {

namespace {

const wchar_t* const ArrayClassScriptName = L"VelmorandScript::Array";

}  // namespace

Array::Array(boost::shared_ptr<IArrayValue> storage)
    : IArray(std::wstring(ArrayClassScriptName), Value()), m_storage(std::move(storage)) {}

// The storage is put under a shared pointer before the wrapper is bound, so that it is released
// when binding fails.
Array::Array(IArrayValue* storage) : Array(boost::shared_ptr<IArrayValue>(storage)) {}

Array::Array(const Array& other) : IArray(other), m_storage(other.m_storage) {}

Array::~Array() = default;

Value Array::GetScriptedObject() const {
    return Value(static_cast<const IArray*>(this));
}

long Array::Count() const {
    return m_storage ? m_storage->Count() : 0;
}

bool Array::IsEmpty() const {
    return m_storage ? m_storage->IsEmpty() : true;
}

void Array::Clear() {
    if (m_storage) {
        m_storage->Clear();
    }
}

void Array::Add(const Value& item, bool atFront) {
    if (m_storage) {
        m_storage->Add(item, atFront);
    }
}

void Array::Count(long capacity) {
    if (m_storage) {
        m_storage->Count(capacity);
    }
}

void Array::Delete(long index) {
    if (m_storage) {
        m_storage->Delete(index);
    }
}

void Array::Insert(long index, const Value& item) {
    if (m_storage) {
        m_storage->Insert(index, item);
    }
}

Value Array::Item(long index) const {
    return m_storage ? m_storage->Item(index) : Value();
}

void Array::Replace(long index, const Value& item) {
    if (m_storage) {
        m_storage->Replace(index, item);
    }
}

}  // namespace VelmorandScript
