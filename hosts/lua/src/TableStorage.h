#pragma once

// Lua tables handed to native code: an Array over a sequence, a Hash over any other table. Both
// read and write the table itself (without metamethods), so native changes show in the script.
// Array indexes 0..n-1 are the table's 1..n; hash keys are the table's string keys, as wide
// text without loss (LuaText.h). Only the thread that runs the script may use them; on any
// other they throw ScriptException.

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

class HostState;
class LuaReference;

class LuaTableArray : public IArrayValue {
public:
    explicit LuaTableArray(boost::shared_ptr<LuaReference> table) : m_table(std::move(table)) {}

    void Add(const Value& item, bool atFront) override;
    void Clear() override;
    /// Tables grow on their own: nothing to reserve.
    void Count(long capacity) override;
    long Count() const override;
    void Delete(long index) override;
    void Insert(long index, const Value& item) override;
    bool IsEmpty() const override;
    Value Item(long index) const override;
    void Replace(long index, const Value& item) override;

    const boost::shared_ptr<LuaReference>& GetTable() const { return m_table; }

private:
    boost::shared_ptr<LuaReference> m_table;
};

/// FirstKey lists the table's string keys (non-string keys are skipped) and NextKey walks that
/// list by position, in the table's own (unspecified) order, each key once. The empty key, when
/// the table has one, comes last, where it reads like the end of the walk: to see it, walk
/// Count() keys.
class LuaTableHash : public IHashValue {
public:
    explicit LuaTableHash(boost::shared_ptr<LuaReference> table) : m_table(std::move(table)) {}

    void Add(const std::wstring& key, const Value& item) override;
    void Clear() override;
    long Count() const override;
    void Delete(const std::wstring& key) override;
    bool Exists(const std::wstring& key) const override;
    std::wstring FirstKey() const override;
    void Insert(const std::wstring& key, const Value& item) override;
    bool IsEmpty() const override;
    Value Item(const std::wstring& key) const override;
    /// "" after the last key, and for a key FirstKey did not list.
    std::wstring NextKey(const std::wstring& key) const override;
    void Replace(const std::wstring& key, const Value& item) override;

    const boost::shared_ptr<LuaReference>& GetTable() const { return m_table; }

private:
    boost::shared_ptr<LuaReference> m_table;
    /// The keys FirstKey listed, and the position of the last key NextKey gave.
    mutable std::vector<std::wstring> m_keys;
    mutable std::size_t m_cursor = 0;
};

/// The array or hash wrapper over the table at `index`, as a Value of `IArray` or `IHash` that
/// owns the wrapper.
Value WrapLuaTable(HostState& host, lua_State* state, int index);

/// Pushes the Lua table behind a wrapper that WrapLuaTable made; false for any other wrapper.
bool PushLuaTableOf(lua_State* state, const IObject& wrapper);

}  // namespace Lua
}  // namespace VelmorandScript
