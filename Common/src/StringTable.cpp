#include <Common/StringTable.h>

#include <algorithm>
#include <sstream>

namespace Common {

StaticStringTable::StaticStringTable(unsigned int module, const StringEntry* entries,
                                     unsigned int count)
    : m_module(module), m_entries(entries), m_count(entries != nullptr ? count : 0) {
    StringLoader::Instance().Register(this);
}

StaticStringTable::~StaticStringTable() {
    StringLoader::Instance().Withdraw(this);
}

const wchar_t* StaticStringTable::Find(unsigned int id) const {
    // Tables are short and searched only when a message is built; a linear search does not
    // depend on the order the entries were written in.
    const StringEntry* end = m_entries + m_count;
    const StringEntry* entry = std::find_if(
        m_entries, end, [id](const StringEntry& candidate) { return candidate.id == id; });
    return entry != end ? entry->text : nullptr;
}

namespace {

StringLoader* g_loader = nullptr;

/// Frees the loader when this library unloads. It is defined here, so it is built before any
/// library that depends on this one registers a table, and destroyed after all of them withdrew
/// theirs; a library unloaded and loaded again therefore leaves nothing behind.
struct LoaderRelease {
    ~LoaderRelease() {
        delete g_loader;
        g_loader = nullptr;
    }
} g_loaderRelease;

}  // namespace

StringLoader& StringLoader::Instance() {
    // Created on first use, which may come from another library's static initialisation.
    if (g_loader == nullptr) {
        g_loader = new StringLoader();
    }
    return *g_loader;
}

std::wstring StringLoader::GetString(unsigned int id) const {
    if (const wchar_t* text = Find(id)) {
        return text;
    }
    std::wostringstream missing;
    missing << L"<missing text for message 0x" << std::hex << std::uppercase << id << L'>';
    return missing.str();
}

bool StringLoader::HasString(unsigned int id) const {
    return Find(id) != nullptr;
}

void StringLoader::Register(const StaticStringTable* table) {
    if (table != nullptr && std::find(m_tables.begin(), m_tables.end(), table) == m_tables.end()) {
        m_tables.push_back(table);
    }
}

void StringLoader::Withdraw(const StaticStringTable* table) {
    // Compares addresses only: the table may be partly destroyed already.
    m_tables.erase(std::remove(m_tables.begin(), m_tables.end(), table), m_tables.end());
}

const wchar_t* StringLoader::Find(unsigned int id) const {
    // The table registered first wins when two hold the same id.
    for (const StaticStringTable* table : m_tables) {
        if (const wchar_t* text = table->Find(id)) {
            return text;
        }
    }
    return nullptr;
}

}  // namespace Common
