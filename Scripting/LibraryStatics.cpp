// The library's own static objects, all in this one translation unit so that they are created at
// load in exactly this order (and destroyed in reverse at unload): later ones rely on earlier ones
// (the value creators build Values whose type names need the message table).

#include "LibraryStatics.h"

#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Values.h>

#include <Common/StringTable.h>

#include <boost/make_shared.hpp>

namespace VelmorandScript {

namespace Detail {

const std::wstring g_voidScriptType(L"void");

}  // namespace Detail

namespace {

const Common::StaticStringTable::StringEntry s_messageTable[Messages::Count] = {
    {0xED0000, L"Unknown error."},
    {0xED0001, L"Script was canceled."},
    {0xED0002, L"No valid conversion from %1."},
    {0xED0003, L"No valid conversion from %1 to %2"},
    {0xED0004, L"Bad cast from empty value to type %1."},
    {0xED0005, L"Bad cast from type %1 to type %2."},
    {0xED0006,
     L"Unable to cast object from %1 to %2 - object is not of type %2, it is an unrelated type "
     L"%3."},
    {0xED0007, L"Base class %1 of class %2 has not been defined."},
    {0xED0008,
     L"Function %1 was invoked on an object of an incompatible type %2, not the expected type %3."},
    {0xED0009, L"Duplicate function %1 registered on class %2."},
    {0xED000A, L"Call to non-applicable function %1."},
    {0xED000B,
     L"Loss of precision in conversion from %1 to %2 (original value %3 converted to %4)."},
    {0xED000C, L"Failed to convert the string value %1 to %2."},
    {0xED000D, L"Invalid cast of null-pointer to expected type %1."},
    {0xED000E, L"%1 (argument #%2, calling %3)."},
    {0xED000F, L"%1 (argument %2, calling %3)."},
    {0xED0010, L"Unknown class %1."},
    {0xED0011,
     L"Unhandled document type %1 - a standard VelmorandScript::IDocument is returned instead."},
    {0xED0012, L"String"},
    {0xED0013, L"<Class Name>"},
    {0xED0014, L"Array"},
    {0xED0015, L"The script was canceled."},
    {0xED0016,
     L"The API %1::%2 has been deprecated and replaced with the non-compatible API(s) %3. Please "
     L"refer to the documentation and update your scripts to use the new API(s) instead."},
    {0xED0017,
     L"The API %1::%2 has been renamed to %1::%3, which will automatically be called until the "
     L"script is updated. Please refer to the documentation and update your scripts to use the "
     L"renamed API instead."},
    {0xED0018,
     L"The API %1::%2 has been deprecated and removed. Please refer to the documentation and "
     L"update your scripts accordingly."},
    {0xED0019,
     L"The API %1::%2 has been deprecated and may be removed without notice. Please refer to the "
     L"documentation and update your scripts accordingly."},
    {0xED001A, L"calling %1: %2"},
    {0xED001B, L"%1::%2: argument %3 has the native type %4, which no registered class describes."},
    {0xED001C, L"%1 names %2 parameters, but the function has %3 that scripts pass."},
};

// Registered with the common library for as long as the library is loaded.
const Common::StaticStringTable s_messageTableRegistration(Messages::ModuleId, s_messageTable,
                                                           Messages::Count);

}  // namespace

namespace Detail {

const Common::Path g_logPath(L"script.log", L"");
std::map<const void*, unsigned int> g_addressIds;

}  // namespace Detail

const DataType Value::s_typeVoid(typeid(void));

namespace {

Value CreateDefaultInt() {
    return Value(boost::make_shared<int>(0));
}
Value CreateDefaultDouble() {
    return Value(boost::make_shared<double>(0.0));
}

const bool s_intCreatorRegistered =
    ValueFactory::GetFactory().AddCreator(DataType(typeid(int)), &CreateDefaultInt);
const bool s_doubleCreatorRegistered =
    ValueFactory::GetFactory().AddCreator(DataType(typeid(double)), &CreateDefaultDouble);

}  // namespace

}  // namespace VelmorandScript
