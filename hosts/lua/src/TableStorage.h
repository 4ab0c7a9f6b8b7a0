#pragma once

// Lua tables handed to native code: an Array over a sequence, a Hash over any other table. Both
// read and write the table itself (without metamethods), so native changes show in the script.
// Array indexes 0..n-1 are the table's 1..n; hash keys are the table's string keys.

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

#include <string>

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

/// Keys are visited in the table's own (unspecified) order; non-string keys are skipped.
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
    /// "" after the last key, and for a key the table does not hold.
    std::wstring NextKey(const std::wstring& key) const override;
    void Replace(const std::wstring& key, const Value& item) override;

    const boost::shared_ptr<LuaReference>& GetTable() const { return m_table; }

private:
    boost::shared_ptr<LuaReference> m_table;
};

/// The array or hash wrapper over the table at `index`, as a Value of `IArray` or `IHash` that
/// owns the wrapper.
Value WrapLuaTable(HostState& host, lua_State* state, int index);

/// Pushes the Lua table behind a wrapper that WrapLuaTable made; false for any other wrapper.
bool PushLuaTableOf(lua_State* state, const IObject& wrapper);

}  // namespace Lua
}  // namespace VelmorandScript
