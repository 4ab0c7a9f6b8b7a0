// The module velmorand: loading application modules, checking their classes and handing
// classes to Python as types.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <boost/make_shared.hpp>

namespace VelmorandScript {
namespace Python {

namespace {

PyObject* scriptErrorType = nullptr;
PyObject* warningType = nullptr;
PyObject* abortType = nullptr;
/// One context per thread: each Python thread's native calls are runs of their own, with their
/// own call frames, cancels and aborts (a callback may let other threads run in between).
boost::shared_ptr<PythonContext>& ContextHolder() {
    thread_local boost::shared_ptr<PythonContext> context;
    if (!context) {
        context = boost::make_shared<PythonContext>();
    }
    return context;
}
/// Whether modules were loaded since the classes were last checked.
bool uncheckedModules = true;

void CheckClasses() {
    ClassRegistry::GetInstance().CheckClasses();
    uncheckedModules = false;
}

PyObject* LoadModuleFunction(PyObject*, PyObject* arguments) {
    PyObject* path = nullptr;
    if (!PyArg_ParseTuple(arguments, "O&:load_module", &PyUnicode_FSConverter, &path)) {
        return nullptr;
    }
    try {
        const std::string file(PyBytes_AS_STRING(path),
                               static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
        Py_DECREF(path);
        path = nullptr;
        Hosting::LoadModule(file);
        uncheckedModules = true;
    } catch (...) {
        Py_XDECREF(path);
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

PyObject* CheckFunction(PyObject*, PyObject*) {
    try {
        CheckClasses();
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

PyObject* GetClassFunction(PyObject*, PyObject* name) {
    if (!PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_TypeError, "get_class takes the class's script name as a str");
        return nullptr;
    }
    try {
        // Classes are checked before the first of them reaches Python.
        if (uncheckedModules) {
            CheckClasses();
        }
        const std::wstring scriptName = ToWide(name);
        const boost::shared_ptr<Class> scriptClass =
            ClassRegistry::GetInstance().FindClassByScriptName(scriptName);
        if (!scriptClass) {
            throw ScriptException(L"Unknown class " + scriptName + L".");
        }
        PyObject* type = GetClassType(scriptClass);
        Py_INCREF(type);
        return type;
    } catch (...) {
        return RaiseCaughtException();
    }
}

// velmorand.classes(): every registered class, in script-name order, as Lua's velmorand.classes().
PyObject* ClassesFunction(PyObject*, PyObject*) {
    try {
        return ToPython(Value(ClassRegistry::GetInstance().GetRegisteredClasses()));
    } catch (...) {
        return RaiseCaughtException();
    }
}

// velmorand.find_class(name): the listing of the class registered under the script name, or
// None, as Lua's velmorand.class(name).
PyObject* FindClassFunction(PyObject*, PyObject* name) {
    if (!PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_TypeError, "find_class takes the class's script name as a str");
        return nullptr;
    }
    try {
        const boost::shared_ptr<Class> scriptClass =
            ClassRegistry::GetInstance().FindClassByScriptName(ToWide(name));
        return ToPython(scriptClass ? Value(scriptClass) : Value());
    } catch (...) {
        return RaiseCaughtException();
    }
}

// velmorand.style_name(style): the names of a function style's flags.
PyObject* StyleNameFunction(PyObject*, PyObject* style) {
    if (!PyLong_Check(style)) {
        PyErr_SetString(PyExc_TypeError, "style_name expects an int style");
        return nullptr;
    }
    const long bits = PyLong_AsLong(style);
    if (bits == -1 && PyErr_Occurred() != nullptr) {
        return nullptr;
    }
    try {
        const std::wstring name = GetFunctionStyleName(bits);
        return PyUnicode_FromWideChar(name.data(), static_cast<Py_ssize_t>(name.size()));
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyMethodDef moduleFunctions[] = {
    {"load_module", &LoadModuleFunction, METH_VARARGS,
     "load_module(path)\n--\n\nLoads the application module at path and registers its classes."},
    {"check", &CheckFunction, METH_NOARGS,
     "check()\n--\n\nChecks the registered classes; raises ScriptError for what is wrong."},
    {"get_class", &GetClassFunction, METH_O,
     "get_class(name)\n--\n\nThe Python type of the script class named name."},
    {"find_class", &FindClassFunction, METH_O,
     "find_class(name)\n--\n\nThe listing of the class named name (its functions and their "
     "arguments), or None."},
    {"classes", &ClassesFunction, METH_NOARGS,
     "classes()\n--\n\nEvery registered class (velmorand.Class objects), by script name."},
    {"style_name", &StyleNameFunction, METH_O,
     "style_name(style)\n--\n\nThe names of the flags of a function style."},
    {"_release_elsewhere", &ReleaseElsewhereFunction, METH_O, nullptr},
    {"_wait_for_cancel", &WaitForCancelFunction, METH_O, nullptr},
    {"_hash_of", &HashOfDictFunction, METH_O, nullptr},
    {"_set_typed_calls", &SetTypedCallsFunction, METH_O, nullptr},
    {"_class_names", &ClassNamesFunction, METH_NOARGS, "The script names of the visible classes."},
    {"_describe", &DescribeFunction, METH_NOARGS, "The visible classes as lists and dicts."},
    {nullptr, nullptr, 0, nullptr}};

PyModuleDef moduleDefinition = {PyModuleDef_HEAD_INIT,
                                "velmorand._velmorand",
                                "Native classes of VelmorandScript application modules.",
                                -1,
                                moduleFunctions,
                                nullptr,
                                nullptr,
                                nullptr,
                                nullptr};

PyObject* InitModule() {
    try {
        StandardConversions::RegisterDataConversions();
        Hosting::RegisterWrapperRoutines();
        Hosting::RegisterPassThrough(DataType(typeid(PythonReference)));
        Hosting::RegisterHostClasses(L"VelmorandScript::Python");
        ContextHolder();
    } catch (...) {
        return RaiseCaughtException();
    }
    if (!InitClassTypes()) {
        return nullptr;
    }
    PyObject* module = PyModule_Create(&moduleDefinition);
    if (module == nullptr) {
        return nullptr;
    }
    scriptErrorType = PyErr_NewException("velmorand.ScriptError", PyExc_Exception, nullptr);
    if (scriptErrorType == nullptr ||
        PyModule_AddObjectRef(module, "ScriptError", scriptErrorType) != 0) {
        Py_DECREF(module);
        return nullptr;
    }
    // Warnings of native code; `python3 -W error` turns them into exceptions.
    warningType =
        PyErr_NewExceptionWithDoc("velmorand.VelmorandWarning",
                                  "A warning of native code (a lossy conversion, a deprecated "
                                  "function).",
                                  PyExc_UserWarning, nullptr);
    // Not an Exception: `except Exception` does not stop an abort.
    abortType = PyErr_NewExceptionWithDoc("velmorand.ScriptAbort",
                                          "The run was aborted; it ends the outermost native call.",
                                          PyExc_BaseException, nullptr);
    if (warningType == nullptr || abortType == nullptr ||
        PyModule_AddObjectRef(module, "VelmorandWarning", warningType) != 0 ||
        PyModule_AddObjectRef(module, "ScriptAbort", abortType) != 0 ||
        !InitCollectionTypes(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace

const boost::shared_ptr<PythonContext>& GetContext() {
    return ContextHolder();
}

PyObject* GetScriptErrorType() {
    return scriptErrorType;
}

PyObject* GetWarningType() {
    return warningType;
}

PyObject* GetAbortType() {
    return abortType;
}

}  // namespace Python
}  // namespace VelmorandScript

PyMODINIT_FUNC PyInit__velmorand() {
    return VelmorandScript::Python::InitModule();
}
