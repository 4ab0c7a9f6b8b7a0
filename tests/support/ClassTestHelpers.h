#pragma once

// Short builders of class and function descriptors for tests. The class registry lives as long
// as the process, so every test gives its classes names and native types (TypeTag<N>) of their
// own.

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Errors.h>

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
boost::shared_ptr<Class> MakeClass(const wchar_t* scriptName, const wchar_t* baseName = nullptr) {
    return boost::make_shared<Class>(DataType(typeid(TypeTag<N>)), scriptName, baseName,
                                     L"TestModule", false);
}

/// A function whose Check appends "<class>.<function>" to a log and then fails when told to.
class CheckRecordingFunction : public Function {
public:
    CheckRecordingFunction(const wchar_t* name, std::vector<std::wstring>* log, bool fail = false)
        : Function(name, L"", L"TestModule", true, InstanceStyle), m_log(log), m_fail(fail) {}

    void Invoke(const Value&, std::vector<Value>&) const override {}
    void Check(const Class* owner, const FunctionTable*) const override {
        m_log->push_back(std::wstring(owner->GetScriptName()) + L"." + GetName());
        if (m_fail) {
            throw ScriptException(L"check failed");
        }
    }

private:
    std::vector<std::wstring>* m_log;
    bool m_fail;
};

}  // namespace Testing
}  // namespace VelmorandScript
