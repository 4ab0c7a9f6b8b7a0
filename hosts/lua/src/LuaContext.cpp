#include <VelmorandScript/Lua/LuaHost.h>

#include "ClassTables.h"
#include "HostClasses.h"
#include "HostState.h"
#include "Library.h"
#include "LuaReference.h"
#include "ObjectUserdata.h"
#include "ProtectedCall.h"
#include "StackGuard.h"
#include "ValueMarshalling.h"
#include "WrapperRoutines.h"

#include <Common/Text.h>

#include <boost/make_shared.hpp>

namespace VelmorandScript {
namespace Lua {

namespace {

bool IsWrappedForm(const Value& value) {
    const DataType& type = value.GetType();
    return value.IsEmpty() || type == DataType(typeid(bool)) || type == DataType(typeid(long)) ||
           type == DataType(typeid(double)) || type == DataType(typeid(std::wstring)) ||
           type == DataType(typeid(IObject)) || type == DataType(typeid(LuaReference));
}

// Pushes what a function value designates: a Lua value the script handed over (possibly boxed)
// or the name of a global. False, with nothing pushed, when it designates nothing.
bool PushFunction(lua_State* state, const Value& function) {
    if (function.IsEmpty()) {
        return false;
    }
    const DataType& type = function.GetType();
    if (type == DataType(typeid(Value))) {
        return PushFunction(state, *CastTo<Value>(&function, true));
    }
    if (type == DataType(typeid(LuaReference))) {
        return CastTo<LuaReference>(&function, true)->Push(state);
    }
    if (type == DataType(typeid(std::wstring))) {
        lua_pushglobaltable(state);
        PushWideString(state, *CastTo<std::wstring>(&function, true));
        lua_rawget(state, -2);
        lua_remove(state, -2);
        return true;
    }
    return false;
}

bool IsCallable(lua_State* state, int index) {
    if (lua_type(state, index) == LUA_TFUNCTION) {
        return true;
    }
    const bool callable = luaL_getmetafield(state, index, "__call") != LUA_TNIL;
    if (callable) {
        lua_pop(state, 1);
    }
    return callable;
}

[[noreturn]] void ThrowTermination(const HostState& host) {
    if (host.GetTermination() == Termination::Cancel) {
        throw ScriptCancelException();
    }
    throw ScriptAbortException(host.GetTerminationMessage());
}

std::string ErrorText(lua_State* state, int index) {
    const char* text = lua_tostring(state, index);
    return text != nullptr
               ? text
               : std::string("(error object is a ") + luaL_typename(state, index) + " value)";
}

}  // namespace

void RegisterHostRoutines() {
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    RegisterWrapperRoutines();
    RegisterHostClasses();
}

boost::shared_ptr<LuaContext> LuaContext::Create() {
    return boost::shared_ptr<LuaContext>(new LuaContext());
}

LuaContext::LuaContext() : m_state(boost::make_shared<HostState>(*this)) {
    lua_State* state = m_state->GetMainThread();
    luaL_openlibs(state);
    InstallProtectedCalls(state);
    RegisterObjectMetatable(state);
    OpenVelmorandLibrary(state);
    BuildClassTables(state);
}

LuaContext::~LuaContext() {
    m_state->Close();
}

lua_State* LuaContext::GetLuaState() const {
    return m_state->GetMainThread();
}

void LuaContext::SetArgumentTable(const std::vector<std::string>& commandLine, int scriptIndex) {
    lua_State* state = m_state->GetMainThread();
    const int count = static_cast<int>(commandLine.size());
    lua_createtable(state, count > scriptIndex ? count - scriptIndex - 1 : 0, scriptIndex + 1);
    for (int i = 0; i < count; ++i) {
        lua_pushlstring(state, commandLine[i].data(), commandLine[i].size());
        lua_rawseti(state, -2, i - scriptIndex);
    }
    lua_setglobal(state, "arg");
}

RunResult LuaContext::RunFile(const std::string& path, const std::vector<std::string>& arguments) {
    lua_State* state = m_state->GetMainThread();
    m_state->scriptName = path.empty() ? L"stdin" : Common::ToWString(path);
    const int status = luaL_loadfile(state, path.empty() ? nullptr : path.c_str());
    if (status == LUA_OK) {
        if (!lua_checkstack(state, static_cast<int>(arguments.size()))) {
            lua_pop(state, 1);
            return RunResult{RunStatus::Failed, "too many script arguments"};
        }
        for (const std::string& argument : arguments) {
            lua_pushlstring(state, argument.data(), argument.size());
        }
    }
    return RunLoadedChunk(status, status == LUA_OK ? static_cast<int>(arguments.size()) : 0);
}

RunResult LuaContext::RunString(const std::string& source, const std::string& chunkName) {
    lua_State* state = m_state->GetMainThread();
    m_state->scriptName = Common::ToWString(chunkName);
    const int status =
        luaL_loadbuffer(state, source.data(), source.size(), ("=" + chunkName).c_str());
    return RunLoadedChunk(status, 0);
}

RunResult LuaContext::RunLoadedChunk(int loadStatus, int argumentCount) {
    lua_State* state = m_state->GetMainThread();
    RunResult result{RunStatus::Succeeded, std::string()};
    if (loadStatus != LUA_OK) {
        result = RunResult{RunStatus::Failed, ErrorText(state, -1)};
        lua_pop(state, 1);
        m_state->ResetTermination();
        return result;
    }
    const int functionIndex = lua_gettop(state) - argumentCount;
    lua_pushcfunction(state, &TracebackHandler);
    lua_insert(state, functionIndex);
    m_state->ArmCancelHook(state);
    if (lua_pcall(state, argumentCount, 0, functionIndex) != LUA_OK) {
        if (IsTerminationMarker(state, -1) || m_state->GetTermination() != Termination::None) {
            result =
                RunResult{RunStatus::Terminated, Common::ToUtf8(m_state->GetTerminationMessage())};
        } else {
            result = RunResult{RunStatus::Failed, ErrorText(state, -1)};
        }
        lua_pop(state, 1);
    }
    lua_remove(state, functionIndex);
    m_state->ResetTermination();
    return result;
}

std::wstring LuaContext::GetScriptName() const {
    return m_state->scriptName;
}

std::wstring LuaContext::GetScriptLanguage() const {
    return L"Lua";
}

void LuaContext::CancelScript() {
    m_state->RequestCancel();
}

bool LuaContext::IsCancelRequested() const {
    return m_state->IsCancelRequested();
}

Value LuaContext::GetScriptVariable(const std::wstring& name) {
    lua_State* state = m_state->GetCurrentThread();
    StackGuard guard(state);
    lua_pushglobaltable(state);
    PushWideString(state, name);
    lua_rawget(state, -2);
    return ToNativeValue(*m_state, state, -1);
}

void LuaContext::SetScriptVariable(const std::wstring& name, const Value& value) {
    lua_State* state = m_state->GetCurrentThread();
    StackGuard guard(state);
    lua_pushglobaltable(state);
    PushWideString(state, name);
    PushNativeValue(*m_state, state, value);
    lua_rawset(state, -3);
}

bool LuaContext::InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                      bool /*flag*/, std::vector<Value>& results) const {
    lua_State* state = m_state->GetCurrentThread();
    StackGuard guard(state);
    if (!lua_checkstack(state, static_cast<int>(arguments.size()) + LUA_MINSTACK)) {
        throw ScriptException(L"Too many arguments for a Lua function call.");
    }
    const int base = lua_gettop(state);
    if (!PushFunction(state, function) || !IsCallable(state, -1)) {
        return false;
    }
    for (const Value& argument : arguments) {
        if (IsWrappedForm(argument)) {
            PushWrappedValue(state, argument);
        } else {
            PushNativeValue(*m_state, state, argument);
        }
    }
    if (lua_pcall(state, static_cast<int>(arguments.size()), LUA_MULTRET, 0) != LUA_OK) {
        if (IsTerminationMarker(state, -1) || m_state->GetTermination() != Termination::None) {
            ThrowTermination(*m_state);
        }
        const std::wstring message = Common::ToWString(ErrorText(state, -1));
        throw LuaErrorException(message, boost::make_shared<LuaReference>(*m_state, state));
    }
    for (int index = base + 1; index <= lua_gettop(state); ++index) {
        results.push_back(ToNativeValue(*m_state, state, index));
    }
    return true;
}

}  // namespace Lua
}  // namespace VelmorandScript
