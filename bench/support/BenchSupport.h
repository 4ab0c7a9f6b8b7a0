#pragma once

// Set-up shared by the benchmark programs: distinct native types, classes with many functions,
// and texts that outlive the descriptors that point at them.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace VelmorandBench {

/// A distinct native type per N, for registries that need many keys.
template <int N>
struct TypeTag {};

/// The standard conversions, registered once per process.
void RegisterStandardConversions();

/// Keeps `text` alive until the process ends and returns its characters (descriptors keep text
/// pointers, never copies).
const wchar_t* KeepText(const std::wstring& text);

/// A function that is looked up but never run.
class LookupOnlyFunction : public VelmorandScript::Function {
public:
    LookupOnlyFunction(const wchar_t* name, const wchar_t* className, int style);
    void Invoke(const VelmorandScript::Value& object,
                std::vector<VelmorandScript::Value>& arguments) const override;
};

/// A class of `type` whose functions are named `<prefix>0000`, `<prefix>0001`, ... (`count` of
/// them, instance style), not yet registered.
boost::shared_ptr<VelmorandScript::Class> MakeClass(const VelmorandScript::DataType& type,
                                                    const wchar_t* scriptName,
                                                    const wchar_t* baseScriptName,
                                                    const std::wstring& prefix, int count);

/// The name of function `index` made by MakeClass with `prefix`.
std::wstring FunctionName(const std::wstring& prefix, int index);

}  // namespace VelmorandBench
