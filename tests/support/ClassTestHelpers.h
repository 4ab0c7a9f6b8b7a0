#pragma once

// Short builders of class and function descriptors. The class registry lives as long as the
// process, so every test gives its classes names and native types (TypeTag<N>) of their own.

#include <VelmorandScript/Classes.h>

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {

template <int N>
struct TypeTag {};

/// A function descriptor whose body is never run.
inline boost::shared_ptr<NativeFunction> MakeFunction(const wchar_t* name, int style,
                                                      const wchar_t* className = L"") {
    return boost::make_shared<NativeFunction>(name, className, L"TestModule", false, style,
                                              NativeFunction::Body());
}

template <int N>
boost::shared_ptr<Class> MakeClass(const wchar_t* scriptName, const wchar_t* baseName = nullptr,
                                   bool hidden = false) {
    return boost::make_shared<Class>(DataType(typeid(TypeTag<N>)), scriptName, baseName,
                                     L"TestModule", hidden);
}

/// MakeClass<N>, added to the registry.
template <int N>
boost::shared_ptr<Class> RegisterClass(const wchar_t* scriptName, const wchar_t* baseName = nullptr,
                                       bool hidden = false) {
    const auto added = MakeClass<N>(scriptName, baseName, hidden);
    ClassRegistry::GetInstance().AddClass(added);
    return added;
}

/// A function whose Check appends "<class>.<function>" to a log.
struct CheckRecordingFunction : Function {
    CheckRecordingFunction(const wchar_t* name, std::vector<std::wstring>* log)
        : Function(name, L"", L"TestModule", true, InstanceStyle), log(log) {}
    void Invoke(const Value&, std::vector<Value>&) const override {}
    void Check(const Class* owner, const FunctionTable*) const override {
        log->push_back(std::wstring(owner->GetScriptName()) + L"." + GetName());
    }
    std::vector<std::wstring>* log;
};

}  // namespace Testing
}  // namespace VelmorandScript
