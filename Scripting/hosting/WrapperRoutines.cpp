#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/Objects.h>

#include <Common/Text.h>

#include <string>

namespace VelmorandScript {
namespace Hosting {

namespace {

typedef boost::shared_ptr<IScriptContext> ContextPointer;

template <class T>
Value AsLong(const Value& source, ContextPointer) {
    const long number = static_cast<long>(GetAs<T>(source));
    return Value(&number);
}

template <class T>
Value AsDouble(const Value& source, ContextPointer) {
    const double number = static_cast<double>(GetAs<T>(source));
    return Value(&number);
}

Value Unchanged(const Value& source, ContextPointer) {
    return source;
}

Value NarrowStringAsString(const Value& source, ContextPointer) {
    const std::wstring text = Common::ToWString(GetAs<std::string>(source));
    return Value(&text);
}

Value DataTypeAsString(const Value& source, ContextPointer) {
    const std::wstring name = GetAs<DataType>(source).GetName();
    return Value(&name);
}

// A boxed value reaches the script as the value inside the box.
Value Unboxed(const Value& source, ContextPointer context) {
    Value inner = GetAs<Value>(source);
    if (!inner.IsEmpty() && !ConversionRegistry::GetInstance().WrapValue(context, inner)) {
        throw ScriptException(L"A value of type " + inner.GetTypeName() +
                              L" cannot be handed to the script: no wrapper routine is "
                              L"registered for it.");
    }
    return inner;
}

// The wrapper a value of one of the wrapper interfaces holds. The routine of one interface also
// serves values of the others: WrapValue caches routines by the wrapper's dynamic type.
IObject* ObjectOf(const Value& source) {
    const DataType& type = source.GetType();
    if (type == DataType(typeid(IArray))) {
        return CastTo<IArray>(&source, false);
    }
    if (type == DataType(typeid(IHash))) {
        return CastTo<IHash>(&source, false);
    }
    return CastTo<IObject>(&source, false);
}

// Wrappers reach the script as a shared pointer to IObject.
Value AsSharedObject(const Value& source, ContextPointer) {
    IObject* object = ObjectOf(source);
    if (object == nullptr) {
        return Value();
    }
    boost::shared_ptr<IObject> shared = object->shared_from_this();
    return Value(shared);
}

Value WrapClassInstance(const Value& source, ContextPointer) {
    const boost::shared_ptr<Class> scriptClass =
        ClassRegistry::GetInstance().FindClassByCppType(source);
    if (!scriptClass) {
        throw ScriptException(L"A value of type " + source.GetDerivedTypeName() +
                              L" belongs to no registered script class.");
    }
    return Value(scriptClass->CreateWrapper(source));
}

}  // namespace

void RegisterWrapperRoutines() {
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(DataType(typeid(long)), &Unchanged);
    registry.RegisterDataWrapperRoutine(DataType(typeid(unsigned long)), &AsLong<unsigned long>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(int)), &AsLong<int>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(unsigned int)), &AsLong<unsigned int>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(char)), &AsLong<char>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(unsigned char)), &AsLong<unsigned char>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(double)), &Unchanged);
    registry.RegisterDataWrapperRoutine(DataType(typeid(float)), &AsDouble<float>);
    registry.RegisterDataWrapperRoutine(DataType(typeid(bool)), &Unchanged);
    registry.RegisterDataWrapperRoutine(DataType(typeid(std::wstring)), &Unchanged);
    registry.RegisterDataWrapperRoutine(DataType(typeid(std::string)), &NarrowStringAsString);
    registry.RegisterDataWrapperRoutine(DataType(typeid(DataType)), &DataTypeAsString);
    registry.RegisterDataWrapperRoutine(DataType(typeid(Value)), &Unboxed);
    registry.RegisterDataWrapperRoutine(DataType(typeid(IObject)), &AsSharedObject);
    registry.RegisterDataWrapperRoutine(DataType(typeid(IArray)), &AsSharedObject);
    registry.RegisterDataWrapperRoutine(DataType(typeid(IHash)), &AsSharedObject);
    registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                     &WrapClassInstance);
}

void RegisterPassThrough(const DataType& type) {
    ConversionRegistry::GetInstance().RegisterDataWrapperRoutine(type, &Unchanged);
}

bool IsWrappedUnchanged(const DataType& type) {
    return ConversionRegistry::GetInstance().GetWrapperRoutine(type) == &Unchanged;
}

}  // namespace Hosting
}  // namespace VelmorandScript
