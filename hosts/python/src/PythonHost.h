#pragma once

// What the parts of the Python host share: its context, the error that carries a pending Python
// exception through native code, the conversions between Python objects and native values, and
// the Python types that present script classes.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <VelmorandScript/VelmorandScript.h>

#include <boost/shared_ptr.hpp>

#include <string>

namespace VelmorandScript {
namespace Python {

/// Thrown once a Python API call has failed and left its exception set: it passes through the
/// library unchanged (ArgumentSource::IsHostError) and the Python exception is what the caller
/// sees.
class PythonErrorPending : public ScriptException {
public:
    PythonErrorPending();
};

/// The one context of the interpreter. Python code reaches native code only through calls, so
/// the context is the process's; its frames are pushed around each call.
class PythonContext : public ScriptContext {
public:
    PythonContext() = default;

    std::wstring GetScriptName() const override { return L"python"; }
    std::wstring GetScriptLanguage() const override { return L"Python"; }
    void CancelScript() override { m_cancelRequested = true; }
    bool IsCancelRequested() const override { return m_cancelRequested; }
    /// Scripts keep no variables for native code yet: notifications find no handler.
    Value GetScriptVariable(const std::wstring&) override { return Value(); }
    void SetScriptVariable(const std::wstring&, const Value&) override {}
    /// Callbacks into Python are not supported yet: no call is made.
    bool InvokeScriptFunction(const Value&, const std::vector<Value>&, bool,
                              std::vector<Value>&) const override {
        return false;
    }

private:
    bool m_cancelRequested = false;
};

/// A descriptor's text, or "" for none.
inline const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

/// The host's context, made at import.
const boost::shared_ptr<PythonContext>& GetContext();

/// velmorand.ScriptError (a borrowed reference).
PyObject* GetScriptErrorType();

/// Within a catch block: sets the Python exception for the exception being handled and returns
/// null, what a failing C function of Python returns.
PyObject* RaiseCaughtException();

/// Text of a Python str; throws PythonErrorPending for anything else.
std::wstring ToWide(PyObject* text);

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
