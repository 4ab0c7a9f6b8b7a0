#pragma once

/// @file
/// Message tables: constant tables of texts by id (StaticStringTable) and the process-wide
/// directory that looks texts up (StringLoader).

#include <Common/Export.h>

#include <string>
#include <vector>

namespace Common {

/// A constant table of message texts, registered with the StringLoader for as long as the object
/// lives. Message ids are (module << 16) + index.
class COMMON_API StaticStringTable {
public:
    /// One message: its id and its text.
    struct StringEntry {
        unsigned int id;      ///< (module << 16) + index
        const wchar_t* text;  ///< the text, with placeholders %1 to %9 where it takes insertions
    };

    /// Registers the entries; they must stay valid while this object lives.
    StaticStringTable(unsigned int module, const StringEntry* entries, unsigned int count);
    /// Withdraws the entries.
    virtual ~StaticStringTable();

    /// Not copyable: the registration belongs to this object.
    StaticStringTable(const StaticStringTable&) = delete;
    /// Not copyable: the registration belongs to this object.
    StaticStringTable& operator=(const StaticStringTable&) = delete;

    /// The module number the table was registered under.
    unsigned int GetModule() const { return m_module; }
    /// The text of the id, or null when this table does not hold it.
    const wchar_t* Find(unsigned int id) const;

private:
    unsigned int m_module;
    const StringEntry* m_entries;
    unsigned int m_count;
};

/// The process-wide directory of registered string tables.
class COMMON_API StringLoader {
public:
    /// The process-wide directory, created on first use.
    static StringLoader& Instance();

    /// The text registered for the id. An id no registered table holds yields a text that names
    /// the id in hexadecimal ("<missing text for message 0xED0099>").
    std::wstring GetString(unsigned int id) const;
    /// Whether a registered table holds the id.
    bool HasString(unsigned int id) const;

    /// Adds a table; StaticStringTable's constructor calls it.
    void Register(const StaticStringTable* table);
    /// Removes a table; StaticStringTable's destructor calls it.
    void Withdraw(const StaticStringTable* table);

private:
    StringLoader() = default;
    const wchar_t* Find(unsigned int id) const;

    std::vector<const StaticStringTable*> m_tables;
};

}  // namespace Common
