#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Values.h>

#include "errors/Format.h"

#include <sstream>

namespace VelmorandScript {

namespace {

/// The hexadecimal digits a wide stream writes for a pointer, without its "0x" (the dump
/// patterns carry their own); a null pointer reads "0".
std::wstring PointerDigits(const void* pointer) {
    std::wostringstream stream;
    stream << pointer;
    std::wstring text = stream.str();
    if (text.compare(0, 2, L"0x") == 0) {
        text.erase(0, 2);
    }
    return text;
}

}  // namespace

Value::Data::~Data() {}

std::wstring Value::Dump(bool brief) const {
    std::wstring text =
        Detail::FormatPattern(L"[Value @ 0x%1]", PointerDigits(static_cast<const void*>(this)));
    if (brief) {
        return text;
    }
    text += L": ";
    if (IsEmpty()) {
        return text + L"<Empty>";
    }
    return text + Detail::FormatPattern(L"Type=%1 DerivedType=%2 C:%3 O:%4 V:%5 ISP:%6 Ptr:%7",
                                        GetTypeName(), GetDerivedTypeName(), IsConst(), IsIObject(),
                                        IsVector(), IsInsideSmartPointer(),
                                        PointerDigits(GetValuePtr()));
}

void Value::CheckCastParameters(const Value* value, const DataType& wanted, bool requireNonNull) {
    if (!value || value->IsEmpty()) {
        Detail::RaiseMessage(Messages::BadCastFromEmpty, wanted.GetName());
    }
    if (requireNonNull && !value->GetValuePtr()) {
        Detail::RaiseMessage(Messages::NullPointerCast, wanted.GetName());
    }
    if (value->GetType() != wanted) {
        Detail::RaiseMessage(Messages::BadCast, value->GetTypeName(), wanted.GetName());
    }
}

void Value::CheckCastResult(const void* before, const void* after, const DataType& from,
                            const DataType& to, const Value& value) {
    if (before && !after) {
        Detail::RaiseMessage(Messages::UnrelatedObjectType, from.GetName(), to.GetName(),
                             value.GetDerivedTypeName());
    }
}

const Value* Value::ConvertForCastIfNecessary(const Value& value, Value& scratch,
                                              const DataType& wanted) {
    if (value.GetType() == wanted) {
        return &value;
    }
    scratch = value;
    // The result does not matter: the caller's cast check looks at what the scratch holds.
    ConversionRegistry::GetInstance().ConvertValue(wanted, boost::shared_ptr<IScriptContext>(),
                                                   scratch, true);
    return &scratch;
}

}  // namespace VelmorandScript
