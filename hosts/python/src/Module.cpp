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
boost::shared_ptr<PythonContext>& ContextHolder() {
    static boost::shared_ptr<PythonContext> context;
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

PyMethodDef moduleFunctions[] = {
    {"load_module", &LoadModuleFunction, METH_VARARGS,
     "load_module(path)\n--\n\nLoads the application module at path and registers its classes."},
    {"check", &CheckFunction, METH_NOARGS,
     "check()\n--\n\nChecks the registered classes; raises ScriptError for what is wrong."},
    {"get_class", &GetClassFunction, METH_O,
     "get_class(name)\n--\n\nThe Python type of the script class named name."},
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
        Hosting::RegisterHostClasses(L"VelmorandScript::Python");
        if (!ContextHolder()) {
            ContextHolder() = boost::make_shared<PythonContext>();
        }
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
    return module;
}

}  // namespace

const boost::shared_ptr<PythonContext>& GetContext() {
    return ContextHolder();
}

PyObject* GetScriptErrorType() {
    return scriptErrorType;
}

}  // namespace Python
}  // namespace VelmorandScript

PyMODINIT_FUNC PyInit__velmorand() {
    return VelmorandScript::Python::InitModule();
}
