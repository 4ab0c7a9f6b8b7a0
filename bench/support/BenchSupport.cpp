#include "BenchSupport.h"

#include <boost/make_shared.hpp>

#include <cstdio>
#include <deque>

namespace VelmorandBench {

using namespace VelmorandScript;

void RegisterStandardConversions() {
    static const bool registered = [] {
        StandardConversions::RegisterDataConversions();
        return true;
    }();
    (void)registered;
}

const wchar_t* KeepText(const std::wstring& text) {
    // A deque never moves its elements, so the returned pointers stay valid.
    static std::deque<std::wstring> texts;
    texts.push_back(text);
    return texts.back().c_str();
}

LookupOnlyFunction::LookupOnlyFunction(const wchar_t* name, const wchar_t* className, int style)
    : Function(name, className, L"Bench", true, style) {}

void LookupOnlyFunction::Invoke(const Value& /*object*/, std::vector<Value>& /*arguments*/) const {}

std::wstring FunctionName(const std::wstring& prefix, int index) {
    wchar_t digits[16];
    std::swprintf(digits, sizeof digits / sizeof digits[0], L"%04d", index);
    return prefix + digits;
}

boost::shared_ptr<Class> MakeClass(const DataType& type, const wchar_t* scriptName,
                                   const wchar_t* baseScriptName, const std::wstring& prefix,
                                   int count) {
    auto scriptClass = boost::make_shared<Class>(type, scriptName, baseScriptName, L"Bench", false);
    for (int index = 0; index < count; ++index) {
        scriptClass->AddFunction(boost::make_shared<LookupOnlyFunction>(
            KeepText(FunctionName(prefix, index)), scriptName, InstanceStyle));
    }
    return scriptClass;
}

}  // namespace VelmorandBench
