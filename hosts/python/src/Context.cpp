// The Python host's context: warnings to Python's warnings module, aborts and cancels that end
// the run, callbacks into Python callables, the globals of the calling Python code as script
// variables, and the references native code keeps to Python objects.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include <signal.h>
#include <unistd.h>

namespace VelmorandScript {
namespace Python {

struct ReleasedNode {
    PyObject* object;
    ReleasedNode* next;
};

std::atomic<ReleasedNode*> releasedReferences{nullptr};

namespace {

// --- References released without the GIL ----------------------------------------------------

int ReleaseQueuedCall(void*) {
    ReleaseQueuedReferences();
    return 0;
}

/// Takes the exception set (normalized): type, value and traceback, new references.
struct FetchedException {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;

    void Fetch() {
        PyErr_Fetch(&type, &value, &traceback);
        PyErr_NormalizeException(&type, &value, &traceback);
        if (value != nullptr && traceback != nullptr) {
            PyException_SetTraceback(value, traceback);
        }
    }
    /// Sets it as Python's again: the references go with it.
    void Restore() {
        PyErr_Restore(type, value, traceback);
        type = value = traceback = nullptr;
    }
    void Release() noexcept {
        ReleaseReference(type);
        ReleaseReference(value);
        ReleaseReference(traceback);
        type = value = traceback = nullptr;
    }
};

/// The text of the exception value, "" when it has none.
std::wstring TextOf(PyObject* value) {
    if (value == nullptr) {
        return std::wstring();
    }
    PyObject* text = PyObject_Str(value);
    if (text == nullptr) {
        PyErr_Clear();
        return std::wstring();
    }
    Py_ssize_t size = 0;
    wchar_t* characters = PyUnicode_AsWideCharString(text, &size);
    Py_DECREF(text);
    if (characters == nullptr) {
        PyErr_Clear();
        return std::wstring();
    }
    std::wstring result(characters, static_cast<std::size_t>(size));
    PyMem_Free(characters);
    return result;
}

/// The globals of the Python code that made the native call in progress, else those of
/// __main__ (borrowed).
PyObject* CallerGlobals() {
    if (PyObject* globals = PyEval_GetGlobals()) {
        return globals;
    }
    PyObject* main = PyImport_AddModule("__main__");
    if (main == nullptr) {
        throw PythonErrorPending();
    }
    return PyModule_GetDict(main);
}

/// The global `name` of the calling code, or one of the builtins; a new reference or null.
PyObject* FindGlobal(const std::wstring& name, bool withBuiltins) {
    PyObject* key = NewKey(name);
    PyObject* found = PyDict_GetItemWithError(CallerGlobals(), key);
    if (found == nullptr && !PyErr_Occurred() && withBuiltins) {
        found = PyDict_GetItemWithError(PyEval_GetBuiltins(), key);
    }
    Py_DECREF(key);
    if (found == nullptr && PyErr_Occurred()) {
        throw PythonErrorPending();
    }
    Py_XINCREF(found);
    return found;
}

/// A new reference to the callable `function` designates: a Python object native code kept,
/// possibly boxed, or the name of a global; null for anything else.
PyObject* FindCallable(const Value& function) {
    if (function.IsEmpty()) {
        return nullptr;
    }
    const DataType& type = function.GetType();
    if (type == DataType(typeid(Value))) {
        return FindCallable(*CastTo<Value>(&function, true));
    }
    if (type == DataType(typeid(PythonReference))) {
        PyObject* object = CastTo<PythonReference>(&function, true)->Get();
        Py_INCREF(object);
        return object;
    }
    if (type == DataType(typeid(std::wstring))) {
        return FindGlobal(*CastTo<std::wstring>(&function, true), true);
    }
    return nullptr;
}

}  // namespace

void ReleaseReference(PyObject* object) noexcept {
    // After the interpreter has gone nothing may touch its objects: they are left behind.
    if (object == nullptr || !Py_IsInitialized()) {
        return;
    }
    if (PyGILState_Check()) {
        Py_DECREF(object);
        return;
    }
    // Taking the GIL here could wait forever for a native call that waits for this thread; the
    // interpreter releases the object instead, at its next chance or at the next native call.
    auto* node = new (std::nothrow) ReleasedNode{object, nullptr};
    if (node == nullptr) {
        return;  // out of memory: the object stays alive rather than being touched here
    }
    node->next = releasedReferences.load(std::memory_order_relaxed);
    while (!releasedReferences.compare_exchange_weak(node->next, node, std::memory_order_release,
                                                     std::memory_order_relaxed)) {
    }
    if (node->next == nullptr) {
        Py_AddPendingCall(&ReleaseQueuedCall, nullptr);
    }
}

void ReleaseReferencesQueued() noexcept {
    ReleasedNode* list = releasedReferences.exchange(nullptr, std::memory_order_acquire);
    while (list != nullptr) {
        ReleasedNode* next = list->next;
        Py_DECREF(list->object);
        delete list;
        list = next;
    }
}

PythonReference::~PythonReference() {
    ReleaseReference(m_object);
}

// --- The context -----------------------------------------------------------------------------

struct PythonContext::State {
    std::wstring message;
    /// The Python exception that asked for the termination, if one did.
    FetchedException exception;
};

PythonContext::PythonContext() : m_state(new State) {}

PythonContext::~PythonContext() {
    m_state->exception.Release();
}

void PythonContext::CancelScript() {
    m_cancelRequested.store(true);
}

bool PythonContext::IsCancelRequested() const {
    if (m_cancelRequested.load() || m_termination == Termination::Cancel) {
        return true;
    }
    // Python's signal handlers run on the main thread, with the GIL; Ctrl-C raises there.
    if (PyGILState_Check() && PyErr_Occurred() == nullptr && PyErr_CheckSignals() != 0) {
        Terminate(Termination::Cancel, true, std::wstring());
        return true;
    }
    return false;
}

void PythonContext::Terminate(Termination reason, bool takeException,
                              const std::wstring& message) const {
    State& state = *m_state;
    if (m_termination != Termination::None) {
        if (takeException) {
            PyErr_Clear();
        }
        return;
    }
    m_termination = reason;
    if (takeException) {
        state.exception.Fetch();
        state.message = message.empty() ? TextOf(state.exception.value) : message;
    } else {
        state.message = message;
    }
}

void PythonContext::ThrowTermination() const {
    if (m_termination == Termination::Abort) {
        throw ScriptAbortException(m_state->message);
    }
    throw ScriptCancelException();
}

void PythonContext::RaiseTermination() {
    State& state = *m_state;
    FetchedException& exception = state.exception;
    if (exception.type != nullptr) {
        if (m_depth > 0) {
            // Raised again at each native call the run unwinds through.
            Py_INCREF(exception.type);
            Py_XINCREF(exception.value);
            Py_XINCREF(exception.traceback);
            PyErr_Restore(exception.type, exception.value, exception.traceback);
        } else {
            exception.Restore();
        }
    } else if (m_termination == Termination::Abort) {
        const std::string text = Common::ToUtf8(state.message);
        PyErr_SetString(GetAbortType(), text.c_str());
    } else {
        PyErr_SetString(PyExc_KeyboardInterrupt, ScriptCancelException().what());
    }
    if (m_depth == 0) {
        m_cancelRequested.store(false);
        m_termination = Termination::None;
        state.message.clear();
    }
}

namespace {

/// Throws for the Python exception set. What `except Exception` does not catch ends the run,
/// so that native code cannot swallow it either: a KeyboardInterrupt cancels it, any other
/// (velmorand.ScriptAbort, SystemExit) aborts it; the exception is raised again when the run has
/// unwound to Python. Any other exception passes through native code as it is.
[[noreturn]] void ThrowPythonFailure(const PythonContext& context) {
    if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt)) {
        context.Terminate(Termination::Cancel, true, std::wstring());
        context.ThrowTermination();
    }
    if (!PyErr_ExceptionMatches(PyExc_Exception)) {
        context.Terminate(Termination::Abort, true, std::wstring());
        context.ThrowTermination();
    }
    throw PythonErrorPending();
}

[[noreturn]] void RaiseOtherThread() {
    throw ScriptException(
        L"Python can only be called back on the thread that holds the GIL (the one that made "
        L"the native call); this call came from another thread.");
}

}  // namespace

bool PythonContext::NotifyScript(const std::wstring& text, EventType type) {
    // Another thread cannot reach Python's warnings without waiting for the GIL, which the
    // thread that runs the call may hold while it waits for this one.
    if (!PyGILState_Check()) {
        return false;
    }
    const std::string message =
        Common::ToUtf8(type == WarningEvent ? Hosting::NameCallOfWarning(*this, text) : text);
    // Level 1 is the Python code that made the native call.
    if (PyErr_WarnEx(GetWarningType(), message.c_str(), 1) != 0) {
        ThrowPythonFailure(*this);
    }
    return true;
}

Value PythonContext::GetScriptVariable(const std::wstring& name) {
    if (!PyGILState_Check()) {
        RaiseOtherThread();
    }
    const PyRef found(FindGlobal(name, false));
    return found.Get() != nullptr ? ToNative(found.Get()) : Value();
}

void PythonContext::SetScriptVariable(const std::wstring& name, const Value& value) {
    if (!PyGILState_Check()) {
        RaiseOtherThread();
    }
    PyObject* globals = CallerGlobals();
    PyObject* object = ToPython(value);
    PyObject* key = nullptr;
    try {
        key = NewKey(name);
    } catch (...) {
        Py_DECREF(object);
        throw;
    }
    int failed = 0;
    if (object == Py_None) {
        // Setting nothing removes the global, as nil does in Lua.
        if (PyDict_DelItem(globals, key) != 0 && PyErr_ExceptionMatches(PyExc_KeyError)) {
            PyErr_Clear();
        }
        failed = PyErr_Occurred() != nullptr;
    } else {
        failed = PyDict_SetItem(globals, key, object);
    }
    Py_DECREF(key);
    Py_DECREF(object);
    if (failed != 0) {
        throw PythonErrorPending();
    }
}

bool PythonContext::InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments,
                                         bool /*flag*/, std::vector<Value>& results) const {
    if (!PyGILState_Check()) {
        RaiseOtherThread();
    }
    ReleaseQueuedReferences();
    // A run that is ending calls no more Python code; a pending Ctrl-C ends it here.
    if (IsTerminating() || IsCancelRequested()) {
        ThrowTermination();
    }
    PyObject* callable = FindCallable(function);
    if (callable == nullptr) {
        return false;
    }
    if (!PyCallable_Check(callable)) {
        Py_DECREF(callable);
        return false;
    }
    PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(arguments.size()));
    if (tuple == nullptr) {
        Py_DECREF(callable);
        throw PythonErrorPending();
    }
    try {
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), WrappedToPython(arguments[i]));
        }
    } catch (...) {
        Py_DECREF(tuple);
        Py_DECREF(callable);
        throw;
    }
    PyObject* result = PyObject_Call(callable, tuple, nullptr);
    Py_DECREF(tuple);
    Py_DECREF(callable);
    if (result == nullptr) {
        ThrowPythonFailure(*this);
    }
    try {
        // A callback that caught the abort or cancel of a call it made does not stop the run.
        if (IsTerminating()) {
            ThrowTermination();
        }
        if (PyTuple_Check(result)) {
            for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(result); ++i) {
                results.push_back(ToNative(PyTuple_GET_ITEM(result, i)));
            }
        } else if (result != Py_None) {
            results.push_back(ToNative(result));
        }
    } catch (...) {
        Py_DECREF(result);
        throw;
    }
    Py_DECREF(result);
    return true;
}

// --- Test hooks: what native code does on threads of its own ----------------------------------

PyObject* ReleaseElsewhereFunction(PyObject*, PyObject* object) {
    try {
        auto reference = boost::make_shared<PythonReference>(object);
        // Waited for with the GIL held: a release that took the GIL would never end.
        std::thread releaser([held = std::move(reference)]() mutable { held.reset(); });
        releaser.join();
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

PyObject* WaitForCancelFunction(PyObject*, PyObject* how) {
    const bool bySignal =
        PyUnicode_Check(how) && PyUnicode_CompareWithASCIIString(how, "signal") == 0;
    PythonContext& context = *GetContext();
    try {
        bool canceled = false;
        {
            PythonContext::CallScope scope(context);
            // Ctrl-C or a cancel of another thread while native code runs and polls.
            std::thread requester([&context, bySignal] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (bySignal) {
                    kill(getpid(), SIGINT);
                } else {
                    context.CancelScript();
                }
            });
            for (int i = 0; i < 5000 && !canceled; ++i) {
                canceled = context.IsCancelRequested();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            requester.join();
        }
        if (canceled) {
            throw ScriptCancelException();
        }
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_FALSE;
}

}  // namespace Python
}  // namespace VelmorandScript
