#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include "errors/Format.h"

#include <utility>

namespace VelmorandScript {

namespace {

/// Clears the wrapper's info pointer when it designates `info`, so that it never dangles.
void Unregister(const boost::shared_ptr<IObject>& wrapper, const WrappedObjectInfo* info) {
    if (wrapper && wrapper->GetWrappedObjectInfo() == info) {
        wrapper->SetWrappedObjectInfo(nullptr);
    }
}

}  // namespace

WrappedObjectInfo::WrappedObjectInfo(boost::shared_ptr<IObject> wrapper)
    : m_wrapper(std::move(wrapper)), m_rawObjectPointer(nullptr) {
    if (!m_wrapper) {
        Detail::RaiseMessage(Messages::NullPointerCast, DataType(typeid(IObject)).GetName());
    }
    m_wrapper->SetWrappedObjectInfo(this);
}

WrappedObjectInfo::WrappedObjectInfo(const WrappedObjectInfo& other)
    : m_wrapper(other.m_wrapper), m_rawObjectPointer(other.m_rawObjectPointer) {}

// Like the copy constructor, only the two fields: the wrappers keep the info pointers they were
// given, and the old wrapper's owner decides what its pointer designates.
WrappedObjectInfo& WrappedObjectInfo::operator=(const WrappedObjectInfo& other) {
    m_wrapper = other.m_wrapper;
    m_rawObjectPointer = other.m_rawObjectPointer;
    return *this;
}

WrappedObjectInfo::~WrappedObjectInfo() {
    Unregister(m_wrapper, this);
}

boost::shared_ptr<IObject> WrappedObjectInfo::GetWrapperObject() const {
    return m_wrapper;
}

void* WrappedObjectInfo::GetRawObjectPointer() const {
    return m_rawObjectPointer;
}

void WrappedObjectInfo::SetRawObjectPointer(void* pointer) {
    m_rawObjectPointer = pointer;
}

}  // namespace VelmorandScript
