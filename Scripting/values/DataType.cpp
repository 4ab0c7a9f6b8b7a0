#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Values.h>

#include <Common/StringTable.h>
#include <Common/Text.h>

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace VelmorandScript {

namespace {

typedef std::map<DataType, std::wstring> NameCache;

/// One script-readable name per distinct type, shared by every DataType that names it.
NameCache& GetNameCache() {
    static NameCache cache;
    return cache;
}

/// The run-time name as the demangler reads it, widened. GCC marks types of internal linkage
/// with a leading '*' that the demangler does not accept.
std::wstring ReadableName(const std::type_info& type) {
    const char* raw = type.name();
    if (*raw == '*') {
        ++raw;
    }
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(raw, nullptr, nullptr, &status), std::free);
    return Common::ToWString(status == 0 && demangled ? demangled.get() : raw);
}

}  // namespace

const std::wstring& DataType::GetNameRef() const {
    if (!m_name) {
        LookUpName();
    }
    return *m_name;
}

std::wstring DataType::LookUpName() const {
    NameCache& cache = GetNameCache();
    NameCache::iterator entry = cache.find(*this);
    if (entry == cache.end()) {
        entry = cache.emplace(*this, ProcessForSubstitution(*m_type)).first;
    }
    m_name = &entry->second;
    return entry->second;
}

std::wstring DataType::ProcessForSubstitution(const std::type_info& type) {
    static const std::wstring wideStringName = ReadableName(typeid(std::wstring));

    std::wstring name = ReadableName(type);
    std::wstring::size_type position = name.find(wideStringName);
    while (position != std::wstring::npos) {
        // The replacement comes from the message table so that it can be localised.
        const std::wstring replacement =
            Common::StringLoader::Instance().GetString(Messages::StringTypeName);
        name.replace(position, wideStringName.size(), replacement);
        // The demangler keeps two closing brackets apart ("<...> >"); without the bracket of
        // the replaced name that space would be stray.
        const std::wstring::size_type end = position + replacement.size();
        if (!replacement.empty() && replacement.back() != L'>' &&
            name.compare(end, 2, L" >") == 0) {
            name.erase(end, 1);
        }
        position = name.find(wideStringName, position);
    }
    return name;
}

}  // namespace VelmorandScript
