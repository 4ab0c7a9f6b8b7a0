#pragma once

/// @file
/// The Lua 5.4 script host: runs Lua scripts against the script classes that application modules
/// registered with the library.
///
/// A C++ program embeds it in four steps:
///
///     VelmorandScript::StandardConversions::RegisterDataConversions();
///     VelmorandScript::Lua::RegisterHostRoutines();    // wrappers, host classes
///     ... load application modules (they register their classes) ...
///     VelmorandScript::ClassRegistry::GetInstance().CheckClasses();
///     auto context = VelmorandScript::Lua::LuaContext::Create();
///     VelmorandScript::Lua::RunResult result = context->RunFile("tour.lua", {});
///
/// What a script sees:
///
/// - Every visible registered class by its script name, "::" becoming nested tables:
///   `Shapes.Circle.new(...)` calls the constructor (the constructor-style function named like
///   the last part of the class name), `Shapes.Circle.F(...)` a static function, `obj:F(...)` an
///   instance function or command, `obj.P` a property get and `obj.P = v` a property set.
/// - Native objects as userdata that share ownership of their wrapper (`IObject`). Two userdata
///   compare equal when they present the same native object.
/// - Native arrays (`IArray`) as userdata of the class "VelmorandScript::Array": `#a`, `a[i]`
///   (1-based; a float with an integral value counts as that integer), `ipairs(a)` and
///   `pairs(a)` (both in order), and the methods `count`, `item`, `add`, `insert`, `delete`,
///   `replace` and `clear` (indexes 1-based as well).
/// - Lua values going to native code: nil as an empty value, booleans as `bool`, integers as
///   `long` when they fit 32 bits (otherwise `double`), floats as `double` (any number given
///   for a `double` argument becomes that `double` directly), strings as
///   `std::wstring` (UTF-8 decoded; a byte that is no part of valid UTF-8 becomes U+DC00 plus
///   the byte, and back, so that any Lua string comes back unchanged), functions as an opaque
///   reference a native function can hand to `CallScriptFunction` (so does a table or userdata with
///   a `__call` metamethod given for a parameter of the type `Value`), sequences (tables with
///   keys 1..n, and empty tables) as an `IArray` over the table, other tables as an `IHash` over
///   their string keys. Both read and write the Lua table itself, and come back to Lua as that same
///   table.
/// - The library `velmorand`: `classes()`, `class(name)`, `on_event(f)`, `style_name(style)`.
///   The class, function and argument descriptors it returns have the properties `name`,
///   `style`, `script_type`, `default` (and a few more) and the methods `functions()` and
///   `arguments()`.
///
/// Errors raised by native code (`ScriptException`) become Lua errors that `pcall` catches.
/// An abort (the notification handler returned the integer 0) and a cancel (`CancelScript`)
/// end the script: `pcall`, `xpcall`, `coroutine.resume` and `coroutine.wrap` pass them on, and a
/// cancel also stops a coroutine that runs nothing but Lua.
///
/// One context runs on one thread at a time: the thread that created it or started its latest
/// run. It is not thread-safe, except that `CancelScript` may be called from any thread or a
/// signal handler, and that values the script handed to native code (functions, tables) may be
/// released on any thread: the context frees them on its own thread, at its next call into
/// native code.
///
/// Memory: when Lua runs out of memory (an embedder may cap it with lua_setallocf on
/// GetLuaState()), the script gets the error "not enough memory"; the calls it was in pop their
/// frames and release their native objects.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

/// Exported symbols of libVelmorandLua.so (the project builds with hidden visibility).
#define VELMORAND_LUA_API __attribute__((visibility("default")))

struct lua_State;

namespace VelmorandScript {
/// The Lua script host: runs Lua scripts that drive the registered classes.
namespace Lua {

class HostState;

/// Registers what the host needs in the library's registries: wrapper routines for the standard
/// types (bool, the integer and floating types, String, DataType, Value), the array wrapper for
/// `IArray`, the generic class-instance wrapper (`Class::CreateWrapper`) under
/// `ClassInstanceCategory`, and the host's script classes "VelmorandScript::Array",
/// "VelmorandScript::Class", "VelmorandScript::Function" and "VelmorandScript::Argument".
/// Call it once, after `StandardConversions::RegisterDataConversions` and before the
/// application modules register (registration is first-wins); later calls change nothing.
VELMORAND_LUA_API void RegisterHostRoutines();

/// How a run ended.
enum class RunStatus {
    Succeeded,  ///< The script ran to its end.
    /// A Lua error or a ScriptException that no `pcall` caught, or a script that did not load.
    Failed,
    /// The script was aborted by its notification handler or canceled.
    Terminated
};

/// The outcome of RunFile or RunString.
struct RunResult {
    /// How the run ended.
    RunStatus status;
    /// Empty on success; otherwise the error text (with a Lua traceback for Lua errors), or the
    /// text of the abort or cancel. UTF-8.
    std::string message;
};

/// One Lua state whose scripts drive the registered classes; the script context handed to
/// native code. Always owned through a shared pointer (use Create).
class VELMORAND_LUA_API LuaContext : public ScriptContext {
public:
    /// A new Lua state with the standard Lua libraries, the `velmorand` library and a table for
    /// every visible class registered so far.
    static boost::shared_ptr<LuaContext> Create();

    LuaContext(const LuaContext&) = delete;
    LuaContext& operator=(const LuaContext&) = delete;
    /// Closes the Lua state; the script's objects release their native objects.
    ~LuaContext() override;

    /// Sets the global `arg` table the way the stand-alone `lua` program does: `arg[0]` is
    /// `commandLine[scriptIndex]`, the entries after it get 1, 2, ..., the entries before it
    /// (program name and options) get negative indexes.
    void SetArgumentTable(const std::vector<std::string>& commandLine, int scriptIndex);
    /// Loads and runs a Lua file (standard input when `path` is empty) with `arguments` as its
    /// varargs (`...`).
    RunResult RunFile(const std::string& path, const std::vector<std::string>& arguments);
    /// Loads and runs a chunk of Lua source.
    RunResult RunString(const std::string& source, const std::string& chunkName);

    /// The underlying state, for embedders that add their own Lua libraries. The host keeps its
    /// own pointer in the extra space of the state's threads (lua_getextraspace): leave it alone.
    lua_State* GetLuaState() const;

    /// Whether calls of functions described with ClassBuilder may read their arguments straight
    /// from the Lua stack (their typed entry, VelmorandScript/TypedCall.h); on by default. Off,
    /// every call goes through the descriptors: the same results, notices and errors, slower.
    /// For comparing the two ways, and for finding a fault in one of them.
    void SetTypedCalls(bool enabled);
    /// How many calls went through a typed entry so far: whether a function's calls take the
    /// fast way.
    std::uint64_t GetTypedCallCount() const;

    /// The path of the file being run ("stdin" for standard input) or the chunk name.
    std::wstring GetScriptName() const override;
    /// "Lua".
    std::wstring GetScriptLanguage() const override;
    /// Makes the running script stop at its next instruction with the text of
    /// ScriptCancelException. Also takes effect when called before a run starts.
    void CancelScript() override;
    /// Whether CancelScript was called since the last run ended.
    bool IsCancelRequested() const override;
    /// As ScriptContext::NotifyScript, a warning's text preceded by where it arose: the script
    /// position of the native call and the function called ("shapes.lua:12: calling
    /// Shapes::Circle::Scale: Loss of precision ..."), as far as they are known. An abort the
    /// handler asks for is also recorded, so that the script ends even when native code catches
    /// the ScriptAbortException on its way.
    bool NotifyScript(const std::wstring& text, EventType type) override;
    /// The Lua global of that name (read without metamethods), as a Value: see the file comment
    /// for the types. An empty value for nil. Like SetScriptVariable and InvokeScriptFunction,
    /// it throws ScriptException on a thread other than the one that runs the script.
    Value GetScriptVariable(const std::wstring& name) override;
    /// Wraps the value (ConversionRegistry::WrapValue) and sets the Lua global of that name;
    /// an empty value sets nil. Throws ScriptException when the value has no wrapper.
    void SetScriptVariable(const std::wstring& name, const Value& value) override;
    /// Calls the Lua function that `function` designates (a function value the script handed
    /// over, the same boxed in a Value, or the name of a global function) with the arguments,
    /// which must be wrapped already, and converts its results. False when `function` designates
    /// nothing callable. `flag` has no meaning to this host. A Lua error in the function throws
    /// ScriptException with its text (and carries the error value back should the exception
    /// reach the script again unchanged); an abort or cancel inside it throws
    /// ScriptAbortException or ScriptCancelException.
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override;

private:
    LuaContext();
    RunResult RunLoadedChunk(int loadStatus, int argumentCount);
    void CheckOwnThread() const;
    std::wstring LocateWarning(const std::wstring& text) const;

    boost::shared_ptr<HostState> m_state;
};

}  // namespace Lua
}  // namespace VelmorandScript
