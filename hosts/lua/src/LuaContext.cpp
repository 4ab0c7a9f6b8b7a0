#include <VelmorandScript/Lua/LuaHost.h>

#include <VelmorandScript/Hosting.h>

#include "ClassTables.h"
#include "HostState.h"
#include "Library.h"
#include "LuaReference.h"
#include "LuaStep.h"
#include "LuaText.h"
#include "ObjectUserdata.h"
#include "ProtectedCall.h"
#include "StackGuard.h"
#include "ValueMarshalling.h"

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace VelmorandScript {
namespace Lua {

namespace {

const char* const outOfMemoryText = "not enough memory";

bool IsWrappedForm(const Value& value) {
    const DataType& type = value.GetType();
    return value.IsEmpty() || type == DataType(typeid(bool)) || type == DataType(typeid(long)) ||
           type == DataType(typeid(double)) || type == DataType(typeid(std::wstring)) ||
           type == DataType(typeid(IObject)) || type == DataType(typeid(LuaReference));
}

// Pushes the global `name` (raw access).
void PushGlobal(lua_State* state, const std::wstring& name) {
    const std::string bytes = EncodeLuaText(name);
    RunLuaStep(state, 0, 1, [&bytes](lua_State* L) {
        lua_pushglobaltable(L);
        lua_pushlstring(L, bytes.data(), bytes.size());
        lua_rawget(L, -2);
        return 1;
    });
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
        PushGlobal(state, *CastTo<std::wstring>(&function, true));
        return true;
    }
    return false;
}

bool IsCallable(lua_State* state, int index) {
    return lua_type(state, index) == LUA_TFUNCTION || HasCallMetamethod(state, index);
}

[[noreturn]] void ThrowTermination(const HostState& host) {
    if (host.GetTermination() == Termination::Cancel) {
        throw ScriptCancelException();
    }
    throw ScriptAbortException(Common::ToWString(host.GetTerminationMessage()));
}

// A text for an error value. The value stays as it is (lua_tostring would turn a number into a
// string in place), and nothing is allocated in Lua.
std::string DescribeError(lua_State* state, int index) {
    switch (lua_type(state, index)) {
        case LUA_TSTRING: {
            std::size_t length = 0;
            const char* text = lua_tolstring(state, index, &length);
            return std::string(text, length);
        }
        case LUA_TNUMBER: {
            if (lua_isinteger(state, index)) {
                return std::to_string(lua_tointeger(state, index));
            }
            char text[64];
            std::snprintf(text, sizeof text, LUA_NUMBER_FMT, lua_tonumber(state, index));
            return text;
        }
        default:
            return std::string("(error object is a ") + luaL_typename(state, index) + " value)";
    }
}

// Runs the host's Lua set-up of a new state; Lua-only, so a step.
int OpenLibraries(lua_State* state) {
    luaL_openlibs(state);
    InstallProtectedCalls(state);
    RegisterObjectMetatable(state);
    OpenVelmorandLibrary(state);
    return 0;
}

}  // namespace

void RegisterHostRoutines() {
    static std::mutex mutex;
    static bool registered = false;
    const std::lock_guard<std::mutex> lock(mutex);
    if (registered) {
        return;
    }
    // Marked done only once everything is in. Registration is first-wins, so a call after one
    // that failed half-way keeps what is in and completes the rest.
    Hosting::RegisterWrapperRoutines();
    Hosting::RegisterPassThrough(DataType(typeid(LuaReference)));
    Hosting::RegisterHostClasses(L"VelmorandScript::Lua");
    registered = true;
}

boost::shared_ptr<LuaContext> LuaContext::Create() {
    return boost::shared_ptr<LuaContext>(new LuaContext());
}

LuaContext::LuaContext() : m_state(boost::make_shared<HostState>(*this)) {
    lua_State* state = m_state->GetMainThread();
    RunLuaStep(state, 0, 0, &OpenLibraries);
    BuildClassTables(state);
}

LuaContext::~LuaContext() {
    m_state->Close();
}

lua_State* LuaContext::GetLuaState() const {
    return m_state->GetMainThread();
}

void LuaContext::SetTypedCalls(bool enabled) {
    m_state->SetTypedCalls(enabled);
}

std::uint64_t LuaContext::GetTypedCallCount() const {
    return m_state->GetTypedCallCount();
}

void LuaContext::SetArgumentTable(const std::vector<std::string>& commandLine, int scriptIndex) {
    lua_State* state = m_state->GetMainThread();
    RunLuaStep(state, 0, 0, [&commandLine, scriptIndex](lua_State* L) {
        const int count = static_cast<int>(commandLine.size());
        lua_createtable(L, count > scriptIndex ? count - scriptIndex - 1 : 0, scriptIndex + 1);
        for (int i = 0; i < count; ++i) {
            lua_pushlstring(L, commandLine[i].data(), commandLine[i].size());
            lua_rawseti(L, -2, i - scriptIndex);
        }
        lua_setglobal(L, "arg");
        return 0;
    });
}

RunResult LuaContext::RunFile(const std::string& path, const std::vector<std::string>& arguments) {
    try {
        lua_State* state = m_state->GetMainThread();
        m_state->scriptName = path.empty() ? L"stdin" : Common::ToWString(path);
        int status = LUA_OK;
        RunLuaStep(state, 0, 1, [&path, &status](lua_State* L) {
            status = luaL_loadfile(L, path.empty() ? nullptr : path.c_str());
            return 1;
        });
        if (status != LUA_OK) {
            return RunLoadedChunk(status, 0);
        }
        const auto count = static_cast<int>(arguments.size());
        if (!lua_checkstack(state, count + LUA_MINSTACK)) {
            lua_pop(state, 1);
            return RunResult{RunStatus::Failed, "too many script arguments"};
        }
        try {
            RunLuaStep(state, 0, count, [&arguments](lua_State* L) {
                for (const std::string& argument : arguments) {
                    lua_pushlstring(L, argument.data(), argument.size());
                }
                return static_cast<int>(arguments.size());
            });
        } catch (...) {
            lua_pop(state, 1);  // the chunk
            throw;
        }
        return RunLoadedChunk(status, count);
    } catch (const std::bad_alloc&) {
        return RunResult{RunStatus::Failed, outOfMemoryText};
    }
}

RunResult LuaContext::RunString(const std::string& source, const std::string& chunkName) {
    try {
        lua_State* state = m_state->GetMainThread();
        m_state->scriptName = Common::ToWString(chunkName);
        const std::string name = "=" + chunkName;
        int status = LUA_OK;
        RunLuaStep(state, 0, 1, [&source, &name, &status](lua_State* L) {
            status = luaL_loadbuffer(L, source.data(), source.size(), name.c_str());
            return 1;
        });
        return RunLoadedChunk(status, 0);
    } catch (const std::bad_alloc&) {
        return RunResult{RunStatus::Failed, outOfMemoryText};
    }
}

RunResult LuaContext::RunLoadedChunk(int loadStatus, int argumentCount) {
    HostState& host = *m_state;
    lua_State* state = host.GetMainThread();
    host.AdoptCallingThread();
    host.FreeReleasedReferences();
    // Whatever happens, the run leaves the stack as it found it and forgets its termination.
    struct RunEnd {
        HostState& host;
        StackGuard stack;
        ~RunEnd() {
            ForgetCallbackError(host.GetMainThread());
            host.ResetTermination();
        }
    } end{host, StackGuard(state)};
    const int functionIndex = lua_gettop(state) - argumentCount;
    if (loadStatus != LUA_OK) {
        return RunResult{RunStatus::Failed, DescribeError(state, -1)};
    }
    lua_pushcfunction(state, &TracebackHandler);
    lua_insert(state, functionIndex);
    host.ArmTerminationHook(state);
    if (lua_pcall(state, argumentCount, 0, functionIndex) == LUA_OK) {
        return RunResult{RunStatus::Succeeded, std::string()};
    }
    if (IsTerminationMarker(state, -1) || host.GetTermination() != Termination::None) {
        return RunResult{RunStatus::Terminated, host.GetTerminationMessage()};
    }
    return RunResult{RunStatus::Failed, DescribeError(state, -1)};
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

namespace {

/// "chunk:line: " of the script code that made the running native call, as Lua writes positions
/// in error messages; empty when that is not script code. Only reads debug information: nothing
/// is pushed and nothing can raise.
std::wstring ScriptPosition(lua_State* state) {
    lua_Debug info;
    if (!lua_getstack(state, 1, &info) || !lua_getinfo(state, "Sl", &info) ||
        info.currentline <= 0) {
        return std::wstring();
    }
    return DecodeLuaText(info.short_src, std::strlen(info.short_src)) + L":" +
           std::to_wstring(info.currentline) + L": ";
}

}  // namespace

std::wstring LuaContext::LocateWarning(const std::wstring& text) const {
    std::wstring located;
    lua_State* state = m_state->GetCurrentThread();
    if (state != nullptr && m_state->IsOwnThread()) {
        located = ScriptPosition(state);
    }
    return located + Hosting::NameCallOfWarning(*this, text);
}

bool LuaContext::NotifyScript(const std::wstring& text, EventType type) {
    try {
        return ScriptContext::NotifyScript(type == WarningEvent ? LocateWarning(text) : text, type);
    } catch (const ScriptAbortException& abort) {
        // Recorded here, where it is requested, so that the script ends even when native code
        // between here and the host catches the exception.
        m_state->Terminate(Termination::Abort, abort.what());
        throw;
    }
}

Value LuaContext::GetScriptVariable(const std::wstring& name) {
    lua_State* state = m_state->GetCurrentThread();
    if (state == nullptr) {
        return Value();
    }
    CheckOwnThread();
    StackGuard guard(state);
    ReserveStack(state, LUA_MINSTACK);
    PushGlobal(state, name);
    return ToNativeValue(*m_state, state, -1);
}

void LuaContext::SetScriptVariable(const std::wstring& name, const Value& value) {
    lua_State* state = m_state->GetCurrentThread();
    if (state == nullptr) {
        return;
    }
    CheckOwnThread();
    StackGuard guard(state);
    ReserveStack(state, LUA_MINSTACK);
    const std::string bytes = EncodeLuaText(name);
    PushNativeValue(*m_state, state, value);
    RunLuaStep(state, 1, 0, [&bytes](lua_State* L) {
        lua_pushglobaltable(L);
        lua_pushlstring(L, bytes.data(), bytes.size());
        lua_pushvalue(L, 1);
        lua_rawset(L, -3);
        return 0;
    });
}

bool LuaContext::InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                      bool /*flag*/, std::vector<Value>& results) const {
    HostState& host = *m_state;
    lua_State* state = host.GetCurrentThread();
    if (state == nullptr) {
        return false;
    }
    CheckOwnThread();
    host.FreeReleasedReferences();
    StackGuard guard(state);
    if (!lua_checkstack(state, static_cast<int>(arguments.size()) + LUA_MINSTACK)) {
        throw ScriptException(L"Too many arguments for a Lua function call.");
    }
    lua_pushcfunction(state, &NoteCallbackError);
    const int handler = lua_gettop(state);
    if (!PushFunction(state, function) || !IsCallable(state, -1)) {
        return false;
    }
    for (const Value& argument : arguments) {
        if (IsWrappedForm(argument)) {
            PushWrappedValue(state, argument);
        } else {
            PushNativeValue(host, state, argument);
        }
    }
    const int status = lua_pcall(state, static_cast<int>(arguments.size()), LUA_MULTRET, handler);
    if (status != LUA_OK) {
        if (IsTerminationMarker(state, -1) || host.GetTermination() != Termination::None) {
            ThrowTermination(host);
        }
        if (status == LUA_ERRMEM) {
            throw std::bad_alloc();
        }
        const std::wstring message = Common::ToWString(DescribeError(state, -1));
        throw LuaErrorException(message, boost::make_shared<LuaReference>(host, state));
    }
    for (int index = handler + 1; index <= lua_gettop(state); ++index) {
        results.push_back(ToNativeValue(host, state, index));
    }
    return true;
}

void LuaContext::CheckOwnThread() const {
    if (!m_state->IsOwnThread()) {
        throw ScriptException(
            L"A Lua script can only be reached on the thread that runs it; this call came from "
            L"another thread.");
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
