#include "TableStorage.h"

#include "HostState.h"
#include "LuaReference.h"
#include "LuaStep.h"
#include "StackGuard.h"
#include "ValueMarshalling.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <new>
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
            if (!m_host->IsOwnThread()) {
                throw ScriptException(
                    L"A Lua table can only be used on the thread that runs its script.");
            }
            ReserveStack(m_state, 6);
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
    lua_pushvalue(access.State(), access.Table());
    PushNativeValue(access.Host(), access.State(), item);
    RunLuaStep(access.State(), 2, 0, [position](lua_State* L) {
        lua_rawseti(L, 1, position);
        return 0;
    });
}

// Removes t[position] of the sequence, moving the items after it one place down.
void RemoveItem(const TableAccess& access, lua_Integer position) {
    lua_pushvalue(access.State(), access.Table());
    RunLuaStep(access.State(), 1, 0, [position](lua_State* L) {
        const auto length = static_cast<lua_Integer>(lua_rawlen(L, 1));
        for (lua_Integer k = position; k < length; ++k) {
            lua_rawgeti(L, 1, k + 1);
            lua_rawseti(L, 1, k);
        }
        lua_pushnil(L);
        lua_rawseti(L, 1, length);
        return 0;
    });
}

void InsertAt(const TableAccess& access, lua_Integer position, const Value& item) {
    // Wrap first, so that a failing wrapper leaves the table unchanged.
    lua_pushvalue(access.State(), access.Table());
    PushNativeValue(access.Host(), access.State(), item);
    RunLuaStep(access.State(), 2, 0, [position](lua_State* L) {
        for (auto k = static_cast<lua_Integer>(lua_rawlen(L, 1)); k >= position; --k) {
            lua_rawgeti(L, 1, k);
            lua_rawseti(L, 1, k + 1);
        }
        lua_rawseti(L, 1, position);
        return 0;
    });
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
// lua_next neither allocates nor fails for a key it gave itself.
bool NextStringKey(const TableAccess& access) {
    while (lua_next(access.State(), access.Table()) != 0) {
        lua_pop(access.State(), 1);
        if (lua_type(access.State(), -1) == LUA_TSTRING) {
            return true;
        }
    }
    return false;
}

// t[key] = the value on top (popped), for a string key.
void SetStringKey(const TableAccess& access, const std::wstring& key) {
    lua_pushvalue(access.State(), access.Table());
    lua_insert(access.State(), -2);
    PushStringKey(access.State(), key);
    lua_insert(access.State(), -2);
    RunLuaStep(access.State(), 3, 0, [](lua_State* L) {
        lua_rawset(L, 1);
        return 0;
    });
}

// Pushes t[key] for a string key.
void GetStringKey(const TableAccess& access, const std::wstring& key) {
    PushStringKey(access.State(), key);
    lua_rawget(access.State(), access.Table());
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
        // Clearing keys that exist never allocates.
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
        RemoveItem(access, index + 1);
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
        // Clearing keys that exist never allocates; lua_next allows it while iterating.
        lua_pushnil(access.State());
        while (NextStringKey(access)) {
            lua_pushvalue(access.State(), -1);
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
        lua_pushnil(access.State());
        SetStringKey(access, key);
    }
}

bool LuaTableHash::Exists(const std::wstring& key) const {
    TableAccess access{*m_table};
    if (!access) {
        return false;
    }
    GetStringKey(access, key);
    return !lua_isnil(access.State(), -1);
}

std::wstring LuaTableHash::FirstKey() const {
    m_keys.clear();
    m_cursor = 0;
    if (TableAccess access{*m_table}) {
        bool hasEmptyKey = false;
        lua_pushnil(access.State());
        while (NextStringKey(access)) {
            std::wstring key = ToWideString(access.State(), -1);
            if (key.empty()) {
                hasEmptyKey = true;
            } else {
                m_keys.push_back(std::move(key));
            }
        }
        if (hasEmptyKey) {
            m_keys.emplace_back();  // last, where it reads like the end
        }
    }
    return m_keys.empty() ? std::wstring() : m_keys.front();
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
    GetStringKey(access, key);
    return ToNativeValue(access.Host(), access.State(), -1);
}

std::wstring LuaTableHash::NextKey(const std::wstring& key) const {
    // By position in the keys FirstKey listed: the usual walk finds `key` at the cursor.
    if (m_cursor >= m_keys.size() || m_keys[m_cursor] != key) {
        const auto found = std::find(m_keys.begin(), m_keys.end(), key);
        if (found == m_keys.end()) {
            return std::wstring();
        }
        m_cursor = static_cast<std::size_t>(found - m_keys.begin());
    }
    ++m_cursor;
    return m_cursor < m_keys.size() ? m_keys[m_cursor] : std::wstring();
}

void LuaTableHash::Replace(const std::wstring& key, const Value& item) {
    if (TableAccess access{*m_table}) {
        PushNativeValue(access.Host(), access.State(), item);
        SetStringKey(access, key);
    }
}

Value WrapLuaTable(HostState& host, lua_State* state, int index) {
    index = lua_absindex(state, index);
    ReserveStack(state, 3);
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
    // Most objects have the standard wrapper, which is neither: no cross casts to tell.
    if (typeid(wrapper) == typeid(Object)) {
        return false;
    }
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
