#pragma once

// What the parts of the Python host share: its context, the error that carries a pending Python
// exception through native code, the conversions between Python objects and native values, and
// the Python types that present script classes.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <atomic>

#include <memory>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Python {

class PythonReference;
struct PendingException;

/// Thrown once a Python API call has failed: it takes the Python exception over (clearing it),
/// so that native code runs with no exception set, and passes through the library unchanged
/// (ArgumentSource::IsHostError); RaiseCaughtException sets it again for the caller. Native
/// code that swallows it releases the exception.
class PythonErrorPending : public ScriptException {
public:
    PythonErrorPending();
    /// Sets the exception taken over as Python's again; false when there was none (or it was
    /// set already).
    bool Restore() const;
    /// Whether the exception taken over is an instance of `type`.
    bool Matches(PyObject* type) const;

private:
    boost::shared_ptr<PendingException> m_exception;
};

/// Why the running native call is to end; neither reason may be caught by native code.
enum class Termination { None, Abort, Cancel };

/// The context of one thread (Context.cpp; GetContext): its frames are pushed around each call
/// from Python into native code, and callbacks go back to Python on that thread. A run is the
/// outermost native call a Python caller made, with every callback and nested call within it:
/// an abort or a cancel ends the run.
class PythonContext : public ScriptContext {
public:
    PythonContext();
    ~PythonContext() override;

    std::wstring GetScriptName() const override { return L"python"; }
    std::wstring GetScriptLanguage() const override { return L"Python"; }
    /// From any thread, and from a signal handler: lock-free.
    void CancelScript() override;
    /// True after CancelScript, and, on the thread that holds the GIL, when a signal is pending
    /// (Ctrl-C): its handler runs here, and the exception it raises ends the run.
    bool IsCancelRequested() const override;
    /// Warnings go to warnings.warn as velmorand.VelmorandWarning, where the Python caller
    /// made the native call; a warning turned into an exception ends the call with it.
    bool NotifyScript(const std::wstring& text, EventType type) override;
    /// The global of the Python code that made the native call (else of __main__).
    Value GetScriptVariable(const std::wstring& name) override;
    /// Sets (an empty value deletes) the global of the Python code that made the native call.
    void SetScriptVariable(const std::wstring& name, const Value& value) override;
    /// Calls a Python callable (or the global function of that name) with the wrapped
    /// arguments; a tuple result gives several results, None none.
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override;

    /// Records that the run is to end (the first reason wins), with the Python exception that
    /// asked for it: the exception set (taken over) when `takeException`, else one made when
    /// it is raised. Never allocates in C++.
    void Terminate(Termination reason, bool takeException, const std::wstring& message) const;
    /// Whether the run is ending: terminated, or a cancel requested. Inline: every call asks,
    /// twice.
    bool IsTerminating() const {
        return m_termination.load() != Termination::None || m_cancelRequested.load();
    }
    /// Throws the library's exception for the termination (ScriptCancelException or
    /// ScriptAbortException), for native code.
    [[noreturn]] void ThrowTermination() const;
    /// Sets the termination's Python exception (KeyboardInterrupt or velmorand.ScriptAbort,
    /// or the one that asked for it); the outermost call also ends the run, which forgets it.
    void RaiseTermination();

    /// How deep native calls are nested (0: no native call in progress).
    int GetDepth() const { return m_depth; }
    /// Counts a native call made from Python for as long as it runs.
    class CallScope {
    public:
        explicit CallScope(PythonContext& context) : m_context(context) { ++context.m_depth; }
        ~CallScope() { --m_context.m_depth; }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

    private:
        PythonContext& m_context;
    };

private:
    struct State;
    std::unique_ptr<State> m_state;
    /// Set by CancelScript, on any thread.
    mutable std::atomic<bool> m_cancelRequested{false};
    /// Read by IsCancelRequested, which native code may ask on any thread.
    mutable std::atomic<Termination> m_termination{Termination::None};
    int m_depth = 0;
};

/// A Python object kept alive by native code: callables handed to native functions, lists and
/// dicts behind arrays and hashes. A pass-through type: values of it reach Python as the
/// object. Native code may release it on any thread: without the GIL the release waits in a
/// queue that the interpreter empties (Context.cpp).
class PythonReference {
public:
    /// Takes a new reference to `object`.
    explicit PythonReference(PyObject* object) : m_object(object) { Py_INCREF(object); }
    ~PythonReference();
    PythonReference(const PythonReference&) = delete;
    PythonReference& operator=(const PythonReference&) = delete;

    /// The object (borrowed); only with the GIL.
    PyObject* Get() const { return m_object; }

private:
    PyObject* m_object;
};

/// Releases a reference on any thread (see PythonReference).
void ReleaseReference(PyObject* object) noexcept;
/// A reference released without the GIL, queued for the interpreter (Context.cpp).
struct ReleasedNode;
/// The queue: a lock-free stack, nearly always empty.
extern std::atomic<ReleasedNode*> releasedReferences;
/// Releases the queued references; with the GIL.
void ReleaseReferencesQueued() noexcept;
/// Releases the references that other threads released since; with the GIL. Inline: every call
/// from Python asks.
inline void ReleaseQueuedReferences() noexcept {
    if (releasedReferences.load(std::memory_order_relaxed) != nullptr) {
        ReleaseReferencesQueued();
    }
}

/// Test hooks (Context.cpp): velmorand._release_elsewhere(object) releases a reference to the
/// object on a thread of its own while the caller waits with the GIL; _wait_for_cancel(how)
/// polls IsCancelRequested while another thread sends SIGINT ("signal") or calls CancelScript,
/// and returns False when no cancel came within 5 seconds.
PyObject* ReleaseElsewhereFunction(PyObject*, PyObject* object);
PyObject* WaitForCancelFunction(PyObject*, PyObject* how);
/// Test hook (Collections.cpp): velmorand._hash_of(dict), a velmorand.Hash over the dict's hash,
/// as a native hash reaches Python.
PyObject* HashOfDictFunction(PyObject*, PyObject* dict);

/// velmorand.VelmorandWarning and velmorand.ScriptAbort (borrowed references).
PyObject* GetWarningType();
PyObject* GetAbortType();

/// The native value of a Python object: None, bool, int, float, str, velmorand objects, lists
/// and tuples (an IArray over them), dicts (an IHash over them) and callables (a
/// PythonReference). Throws ScriptException for anything else.
Value ToNative(PyObject* object);
/// A new reference to the Python form of a value already wrapped (ConversionRegistry::
/// WrapValue): the form ToPython pushes.
PyObject* WrappedToPython(const Value& wrapped);

/// Collections.cpp: the array or hash over a list, tuple or dict, or the native collection a
/// velmorand.Array or velmorand.Hash presents; an empty value for any other object.
Value ToNativeCollection(PyObject* object);
/// A new reference to the Python form of a native collection wrapper: the list, tuple or dict
/// behind it, or a velmorand.Array or velmorand.Hash; null, with nothing set, when `wrapper`
/// is no collection.
PyObject* CollectionToPython(IObject& wrapper);
/// Creates velmorand.Array and velmorand.Hash and adds them to `module`. False with a Python
/// exception set.
bool InitCollectionTypes(PyObject* module);

/// A descriptor's text, or "" for none.
inline const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

/// The calling thread's context, made on its first use.
const boost::shared_ptr<PythonContext>& GetContext();

/// velmorand.ScriptError (a borrowed reference).
PyObject* GetScriptErrorType();

/// Within a catch block: sets the Python exception for the exception being handled and returns
/// null, what a failing C function of Python returns.
PyObject* RaiseCaughtException();

/// Text of a Python str; throws PythonErrorPending for anything else.
std::wstring ToWide(PyObject* text);

/// Owns a new reference, released when the owner goes unless handed on with Release.
class PyRef {
public:
    explicit PyRef(PyObject* object = nullptr) : m_object(object) {}
    ~PyRef() { Py_XDECREF(m_object); }
    PyRef(PyRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyObject* Get() const { return m_object; }
    PyObject* Release() {
        PyObject* object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    PyObject* m_object;
};

/// `object`, the new reference a Python call returned; throws PythonErrorPending for the null
/// of a call that failed and set its exception.
inline PyObject* Checked(PyObject* object) {
    if (object == nullptr) {
        throw PythonErrorPending();
    }
    return object;
}

/// A new str of the UTF-8 `text`. Throws PythonErrorPending.
inline PyObject* NewText(const std::string& text) {
    return Checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

/// A new str of `text` (a hash key, a global's name). Throws PythonErrorPending.
inline PyObject* NewKey(const std::wstring& text) {
    return Checked(PyUnicode_FromWideChar(text.data(), static_cast<Py_ssize_t>(text.size())));
}

/// The note on a deprecated function for help texts and stubs: its kind and what replaces it;
/// "" for other functions.
std::string DeprecationNote(const IFunction& function);

/// A new reference to the Python form of a native value: None for an empty value, else what its
/// wrapper routine makes of it. Throws ScriptException (or PythonErrorPending).
PyObject* ToPython(Value value);

/// Creates the Python types the module's objects use. False with a Python exception set.
bool InitClassTypes();

/// The Python type presenting `scriptClass`, made on first use (a borrowed reference).
PyObject* GetClassType(const boost::shared_ptr<Class>& scriptClass);

/// A new instance of the type of the wrapper's class presenting `object`.
PyObject* NewInstance(const boost::shared_ptr<IObject>& object);

/// The wrapper a velmorand instance holds, or null when `candidate` is none.
const boost::shared_ptr<IObject>* ToObject(PyObject* candidate);

/// The Python name of a script type (an Argument's GetScriptType()), for help texts, signatures
/// and stubs: float, int, bool, str, the class's last name part for objects, Sequence[Any] for
/// arrays passed in and list for arrays given back (`isResult`), dict for hashes,
/// Callable[..., Any] for script functions, Any for anything else.
std::string PythonTypeName(const wchar_t* scriptType, bool isResult);

/// PythonTypeName of the argument's script type; returns and outputs are results.
std::string PythonTypeName(const Argument& argument);

/// velmorand._class_names() and velmorand._describe() (Describe.cpp): the visible classes'
/// script names, and the classes with their functions, properties and arguments, as plain
/// lists and dicts for the package's namespaces and stubs.
PyObject* ClassNamesFunction(PyObject*, PyObject*);
PyObject* DescribeFunction(PyObject*, PyObject*);

/// velmorand._set_typed_calls(on): whether calls may take their function's typed entry (on by
/// default); off, every call takes the general way, which the tests compare it with. Returns
/// how many calls took the typed way so far.
PyObject* SetTypedCallsFunction(PyObject* module, PyObject* on);

/// Calls `function`, found as `name` in `scriptClass` with the styles `styleMask`, on `object`
/// (empty for static functions and constructors) with the Python arguments `arguments`. Returns
/// the result as Python gets it: None, the one value, or a tuple of the return value and the
/// outputs. Throws ScriptException (or PythonErrorPending).
PyObject* CallFunction(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
                       long styleMask, const boost::shared_ptr<IObject>& object,
                       const boost::shared_ptr<IFunction>& function, PyObject* const* arguments,
                       Py_ssize_t count);

}  // namespace Python
}  // namespace VelmorandScript
