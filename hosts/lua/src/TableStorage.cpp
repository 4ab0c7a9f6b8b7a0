#include "TableStorage.h"

#include "HostState.h"
#include "LuaReference.h"
#include "StackGuard.h"
#include "ValueMarshalling.h"

#include <boost/make_shared.hpp>

#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

// Keeps the hash storage alive for the Hash wrapper, which does not own it. A base class, so
// that the storage exists before the Hash part is built.
struct HashStorageHolder {
    boost::shared_ptr<LuaTableHash> storage;
};

class LuaHashWrapper : private HashStorageHolder, public Hash {
public:
    explicit LuaHashWrapper(boost::shared_ptr<LuaTableHash> hashStorage)
        : HashStorageHolder{std::move(hashStorage)}, Hash(storage.get(), Value()) {}
    LuaHashWrapper(const LuaHashWrapper&) = delete;
    LuaHashWrapper& operator=(const LuaHashWrapper&) = delete;

    const LuaTableHash& GetStorage() const { return *storage; }
};

// Where a table operation runs: the host (kept alive for the operation) and the thread that
// called into native code, with the table pushed onto it.
class TableAccess {
public:
    explicit TableAccess(const LuaReference& table)
        : m_host(table.LockHost()),
          m_state(m_host ? m_host->GetCurrentThread() : nullptr),
          m_guard(m_state) {
        if (m_state != nullptr) {
            lua_checkstack(m_state, 4);
            table.Push(m_state);
            m_table = lua_gettop(m_state);
        }
    }
    TableAccess(const TableAccess&) = delete;
    TableAccess& operator=(const TableAccess&) = delete;

    /// False once the script's state is gone: the operation does nothing.
    explicit operator bool() const { return m_state != nullptr; }
    lua_State* State() const { return m_state; }
    HostState& Host() const { return *m_host; }
    /// The table's stack index.
    int Table() const { return m_table; }

private:
    boost::shared_ptr<HostState> m_host;
    lua_State* m_state;
    StackGuard m_guard;
    int m_table = 0;
};

lua_Integer Length(const TableAccess& access) {
    return static_cast<lua_Integer>(lua_rawlen(access.State(), access.Table()));
}

// Sets t[position] to the item, wrapped for the script.
void StoreItem(const TableAccess& access, lua_Integer position, const Value& item) {
    PushNativeValue(access.Host(), access.State(), item);
    lua_rawseti(access.State(), access.Table(), position);
}

void MoveItem(const TableAccess& access, lua_Integer from, lua_Integer to) {
    lua_rawgeti(access.State(), access.Table(), from);
    lua_rawseti(access.State(), access.Table(), to);
}

void InsertAt(const TableAccess& access, lua_Integer position, const Value& item) {
    // Wrap first, so that a failing wrapper leaves the table unchanged.
    PushNativeValue(access.Host(), access.State(), item);
    const lua_Integer length = Length(access);
    for (lua_Integer k = length; k >= position; --k) {
        MoveItem(access, k, k + 1);
    }
    lua_rawseti(access.State(), access.Table(), position);
}

bool IsSequence(lua_State* state, int index) {
    const lua_Unsigned length = lua_rawlen(state, index);
    lua_Unsigned keys = 0;
    lua_pushnil(state);
    while (lua_next(state, index) != 0) {
        lua_pop(state, 1);
        ++keys;
        if (!lua_isinteger(state, -1)) {
            lua_pop(state, 1);
            return false;
        }
        const lua_Integer key = lua_tointeger(state, -1);
        if (key < 1 || static_cast<lua_Unsigned>(key) > length) {
            lua_pop(state, 1);
            return false;
        }
    }
    return keys == length;
}

void PushStringKey(lua_State* state, const std::wstring& key) {
    PushWideString(state, key);
}

// Moves the iteration key on top of the stack to the next string key; false at the end.
bool NextStringKey(const TableAccess& access) {
    while (lua_next(access.State(), access.Table()) != 0) {
        lua_pop(access.State(), 1);
        if (lua_type(access.State(), -1) == LUA_TSTRING) {
            return true;
        }
    }
    return false;
}

}  // namespace

void LuaTableArray::Add(const Value& item, bool atFront) {
    if (TableAccess access{*m_table}) {
        if (atFront) {
            InsertAt(access, 1, item);
        } else {
            StoreItem(access, Length(access) + 1, item);
        }
    }
}

void LuaTableArray::Clear() {
    if (TableAccess access{*m_table}) {
        for (lua_Integer k = Length(access); k >= 1; --k) {
            lua_pushnil(access.State());
            lua_rawseti(access.State(), access.Table(), k);
        }
    }
}

void LuaTableArray::Count(long /*capacity*/) {}

long LuaTableArray::Count() const {
    TableAccess access{*m_table};
    return access ? static_cast<long>(Length(access)) : 0;
}

void LuaTableArray::Delete(long index) {
    if (TableAccess access{*m_table}) {
        const lua_Integer length = Length(access);
        if (index < 0 || index >= length) {
            return;
        }
        for (lua_Integer k = index + 1; k < length; ++k) {
            MoveItem(access, k + 1, k);
        }
        lua_pushnil(access.State());
        lua_rawseti(access.State(), access.Table(), length);
    }
}

void LuaTableArray::Insert(long index, const Value& item) {
    if (TableAccess access{*m_table}) {
        const lua_Integer length = Length(access);
        const lua_Integer position = index < 0 ? 1 : (index > length ? length + 1 : index + 1);
        InsertAt(access, position, item);
    }
}

bool LuaTableArray::IsEmpty() const {
    return Count() == 0;
}

Value LuaTableArray::Item(long index) const {
    TableAccess access{*m_table};
    if (!access || index < 0 || index >= Length(access)) {
        return Value();
    }
    lua_rawgeti(access.State(), access.Table(), index + 1);
    return ToNativeValue(access.Host(), access.State(), -1);
}

void LuaTableArray::Replace(long index, const Value& item) {
    if (TableAccess access{*m_table}) {
        if (index >= 0 && index < Length(access)) {
            StoreItem(access, index + 1, item);
        }
    }
}

void LuaTableHash::Add(const std::wstring& key, const Value& item) {
    Replace(key, item);
}

void LuaTableHash::Clear() {
    if (TableAccess access{*m_table}) {
        std::vector<std::wstring> keys;
        lua_pushnil(access.State());
        while (NextStringKey(access)) {
            keys.push_back(ToWideString(access.State(), -1));
        }
        for (const std::wstring& key : keys) {
            PushStringKey(access.State(), key);
            lua_pushnil(access.State());
            lua_rawset(access.State(), access.Table());
        }
    }
}

long LuaTableHash::Count() const {
    TableAccess access{*m_table};
    long count = 0;
    if (access) {
        lua_pushnil(access.State());
        while (NextStringKey(access)) {
            ++count;
        }
    }
    return count;
}

void LuaTableHash::Delete(const std::wstring& key) {
    if (TableAccess access{*m_table}) {
        PushStringKey(access.State(), key);
        lua_pushnil(access.State());
        lua_rawset(access.State(), access.Table());
    }
}

bool LuaTableHash::Exists(const std::wstring& key) const {
    TableAccess access{*m_table};
    if (!access) {
        return false;
    }
    PushStringKey(access.State(), key);
    return lua_rawget(access.State(), access.Table()) != LUA_TNIL;
}

std::wstring LuaTableHash::FirstKey() const {
    TableAccess access{*m_table};
    if (!access) {
        return std::wstring();
    }
    lua_pushnil(access.State());
    return NextStringKey(access) ? ToWideString(access.State(), -1) : std::wstring();
}

void LuaTableHash::Insert(const std::wstring& key, const Value& item) {
    Replace(key, item);
}

bool LuaTableHash::IsEmpty() const {
    return Count() == 0;
}

Value LuaTableHash::Item(const std::wstring& key) const {
    TableAccess access{*m_table};
    if (!access) {
        return Value();
    }
    PushStringKey(access.State(), key);
    lua_rawget(access.State(), access.Table());
    return ToNativeValue(access.Host(), access.State(), -1);
}

std::wstring LuaTableHash::NextKey(const std::wstring& key) const {
    TableAccess access{*m_table};
    if (!access || !Exists(key)) {
        return std::wstring();  // lua_next must only see keys the table holds
    }
    PushStringKey(access.State(), key);
    return NextStringKey(access) ? ToWideString(access.State(), -1) : std::wstring();
}

void LuaTableHash::Replace(const std::wstring& key, const Value& item) {
    if (TableAccess access{*m_table}) {
        PushStringKey(access.State(), key);
        PushNativeValue(access.Host(), access.State(), item);
        lua_rawset(access.State(), access.Table());
    }
}

Value WrapLuaTable(HostState& host, lua_State* state, int index) {
    index = lua_absindex(state, index);
    const bool sequence = IsSequence(state, index);
    lua_pushvalue(state, index);
    auto table = boost::make_shared<LuaReference>(host, state);
    if (sequence) {
        boost::shared_ptr<IArray> array =
            boost::make_shared<Array>(boost::make_shared<LuaTableArray>(table));
        return Value(array);
    }
    boost::shared_ptr<IHash> hash =
        boost::make_shared<LuaHashWrapper>(boost::make_shared<LuaTableHash>(table));
    return Value(hash);
}

bool PushLuaTableOf(lua_State* state, const IObject& wrapper) {
    if (const auto* array = dynamic_cast<const Array*>(&wrapper)) {
        const auto storage = boost::dynamic_pointer_cast<LuaTableArray>(array->GetScriptedArray());
        return storage && storage->GetTable()->Push(state);
    }
    if (const auto* hash = dynamic_cast<const LuaHashWrapper*>(&wrapper)) {
        return hash->GetStorage().GetTable()->Push(state);
    }
    return false;
}

}  // namespace Lua
}  // namespace VelmorandScript
