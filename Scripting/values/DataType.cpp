#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Values.h>

#include <Common/StringTable.h>
#include <Common/Text.h>

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace VelmorandScript {

namespace {

/// One script-readable name per distinct type, shared by every DataType that names it. Types
/// may be named on several threads at once; names are only ever added, and a name stays where
/// it is, so a pointer to one stays valid without the lock.
struct NameCache {
    std::shared_mutex lock;
    std::map<DataType, std::wstring> names;

    const std::wstring* Find(const DataType& type) {
        const std::shared_lock<std::shared_mutex> reading(lock);
        const auto found = names.find(type);
        return found != names.end() ? &found->second : nullptr;
    }
    /// The name entered first for the type: another thread may have entered it meanwhile.
    const std::wstring* Add(const DataType& type, std::wstring name) {
        const std::unique_lock<std::shared_mutex> writing(lock);
        return &names.emplace(type, std::move(name)).first->second;
    }
};

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
    if (!m_name.load(std::memory_order_acquire)) {
        LookUpName();
    }
    return *m_name.load(std::memory_order_acquire);
}

std::wstring DataType::LookUpName() const {
    NameCache& cache = GetNameCache();
    const std::wstring* name = cache.Find(*this);
    if (!name) {
        // Built outside the lock: demangling is slow, and the message table may be consulted.
        name = cache.Add(*this, ProcessForSubstitution(*m_type));
    }
    m_name.store(name, std::memory_order_release);
    return *name;
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
