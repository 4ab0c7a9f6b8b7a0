#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include "errors/Format.h"

#include <boost/throw_exception.hpp>

#include <new>
#include <utility>

namespace VelmorandScript {

IObject::~IObject() = default;

Object::Object(boost::shared_ptr<Class> scriptClass, const Value& value)
    : m_value(value), m_info(nullptr) {
    if (!scriptClass) {
        // A wrapper without a class is legal, so a failed lookup is not an error.
        scriptClass = ClassRegistry::GetInstance().FindClassByCppType(value);
    }
    m_class = scriptClass;
}

Object::Object(boost::weak_ptr<Class>&& scriptClass, const Value& value)
    : m_class(std::move(scriptClass)), m_value(value), m_info(nullptr) {}

Object::Object(const std::wstring& scriptName, const Value& value)
    : m_value(value), m_info(nullptr) {
    m_class = ClassRegistry::GetInstance().FindClassByScriptName(scriptName);
    if (!m_class.lock()) {
        Detail::RaiseMessage(Messages::UnknownClass, scriptName);
    }
}

// The info record designates and owns the original wrapper only, so a copy starts without one.
Object::Object(const Object& other)
    : IObject(other), m_class(other.m_class), m_value(other.m_value), m_info(nullptr) {}

// The record registered with this wrapper still owns it, so the info pointer stays.
Object& Object::operator=(const Object& other) {
    IObject::operator=(other);
    m_class = other.m_class;
    m_value = other.m_value;
    return *this;
}

Object::~Object() = default;

boost::shared_ptr<Class> Object::GetClass() const {
    return m_class.lock();
}

Value Object::GetScriptedObject() const {
    return m_value;
}

const wchar_t* Object::GetClassScriptName(bool skipHidden) const {
    boost::shared_ptr<Class> current = GetClass();
    while (skipHidden && current && current->IsHidden()) {
        boost::shared_ptr<Class> base = current->GetScriptBase();
        if (!base) {
            break;
        }
        current = base;
    }
    const wchar_t* name = current ? current->GetScriptName() : nullptr;
    return name ? name : L"";
}

std::wstring Object::Dump(bool /*brief*/) const {
    return Detail::FormatPattern(L"[%1 ID=%2]: -> %3", GetClassScriptName(false),
                                 GetAddressId(this, false), GetScriptedObject().Dump(true));
}

void Object::OnWrapperDeletion() {}

void Object::GenerateNonApplicableFunctionCallError(const std::wstring& functionName) const {
    Detail::RaiseMessage(Messages::NonApplicableFunction, functionName);
}

boost::shared_ptr<IObject> Class::CreateWrapper(const Value& value) {
    // The wrapper keeps a weak reference, so the class is not locked to make it (two atomic
    // operations saved on every wrapper).
    boost::weak_ptr<Class> self = weak_from_this();
    if (self.expired()) {
        // An unowned class fails before anything is built, as shared_from_this would.
        boost::throw_exception(boost::bad_weak_ptr());
    }
    // The wrapper and its counts in one block from the holder pool: a wrapper is made for
    // nearly every object a script receives.
    return Detail::MakeSharedWith<Object>(
        [&](void* storage) { return ::new (storage) Object(std::move(self), value); });
}

}  // namespace VelmorandScript
