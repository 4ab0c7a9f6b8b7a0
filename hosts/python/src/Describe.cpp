// The registry as plain Python lists and dicts: velmorand._class_names() for the package's
// namespaces and velmorand._describe() for the stubs (velmorand/stubs.py). The facts are the
// ones velmorand-lua --annotations writes: visible classes, their first visible base, the
// functions the host finds under each name and style, and the arguments a script supplies and
// receives.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <set>

namespace VelmorandScript {
namespace Python {

namespace {

constexpr long MethodStyles = InstanceStyle | CommandStyle;
const boost::shared_ptr<IObject> noObject;

PyObject* Text(const wchar_t* text) {
    return NewText(Common::ToUtf8(TextOrEmpty(text)));
}

PyObject* Text(const std::string& text) {
    return NewText(text);
}

void Set(PyObject* dict, const char* key, PyObject* value) {
    const PyRef owned(Checked(value));
    if (PyDict_SetItemString(dict, key, owned.Get()) != 0) {
        throw PythonErrorPending();
    }
}

void Append(PyObject* list, PyObject* item) {
    const PyRef owned(Checked(item));
    if (PyList_Append(list, owned.Get()) != 0) {
        throw PythonErrorPending();
    }
}

/// The script name of the visible class behind a script type, or None for a type that is no
/// class: the stubs qualify class names across namespaces with it.
PyObject* ClassOfType(const wchar_t* scriptType) {
    const boost::shared_ptr<Class> scriptClass =
        scriptType != nullptr ? Hosting::FirstVisibleClass(
                                    ClassRegistry::GetInstance().FindClassByScriptName(scriptType))
                              : boost::shared_ptr<Class>();
    if (!scriptClass) {
        Py_RETURN_NONE;
    }
    return Text(scriptClass->GetScriptName());
}

/// {"name", "type", "class"} of an argument; inputs add "optional" and "default".
PyObject* DescribeArgument(const Argument& argument, bool input) {
    PyRef result(Checked(PyDict_New()));
    Set(result.Get(), "name", Text(argument.GetName()));
    Set(result.Get(), "type", Text(PythonTypeName(argument)));
    Set(result.Get(), "class", ClassOfType(argument.GetScriptType()));
    if (input) {
        Set(result.Get(), "optional", PyBool_FromLong(argument.IsOptional() ? 1 : 0));
        Set(result.Get(), "default", Text(argument.GetScriptDefaultValue()));
    }
    return result.Release();
}

/// {"name", "description", "deprecated", "arguments", "results"}: the arguments the script
/// passes in order, and what it receives, the return value before the outputs.
PyObject* DescribeCallable(const std::wstring& name, const IFunction& function) {
    PyRef result(Checked(PyDict_New()));
    Set(result.Get(), "name", Text(name.c_str()));
    Set(result.Get(), "description", Text(function.GetDescription()));
    Set(result.Get(), "deprecated", Text(DeprecationNote(function)));
    PyRef inputs(Checked(PyList_New(0)));
    PyRef results(Checked(PyList_New(0)));
    const std::vector<Argument>& arguments = function.GetArguments();
    for (const Argument& argument : arguments) {
        if (!Hosting::IsContextArgument(argument) &&
            Hosting::IsScriptInputStyle(argument.GetStyle())) {
            Append(inputs.Get(), DescribeArgument(argument, true));
        }
    }
    for (const Argument& argument : arguments) {
        if (Hosting::IsScriptResult(argument)) {
            Append(results.Get(), DescribeArgument(argument, false));
        }
    }
    for (const Argument& argument : arguments) {
        if (Hosting::IsScriptOutput(argument.GetStyle()) && !Hosting::IsContextArgument(argument)) {
            Append(results.Get(), DescribeArgument(argument, false));
        }
    }
    Set(result.Get(), "arguments", inputs.Release());
    Set(result.Get(), "results", results.Release());
    return result.Release();
}

/// {"name", "type", "class", "readable", "writable", "deprecated"}, from what the host reads
/// and writes under the name: the getter's result type, else the type the setter takes.
PyObject* DescribeProperty(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name) {
    const boost::shared_ptr<IFunction> getter =
        Hosting::FindScriptFunction(scriptClass, name, PropertyGetStyle, noObject);
    const boost::shared_ptr<IFunction> setter =
        Hosting::FindScriptFunction(scriptClass, name, PropertySetStyle, noObject);
    // Copies: the descriptors' lists may be made on each call.
    const std::vector<Argument> getterArguments =
        getter ? getter->GetArguments() : std::vector<Argument>();
    const std::vector<Argument> setterArguments =
        setter ? setter->GetArguments() : std::vector<Argument>();
    const Argument* typed = nullptr;
    for (const Argument& argument : getterArguments) {
        if (typed == nullptr && Hosting::IsScriptResult(argument)) {
            typed = &argument;
        }
    }
    for (const Argument& argument : setterArguments) {
        if (typed == nullptr && !Hosting::IsContextArgument(argument) &&
            Hosting::IsScriptInputStyle(argument.GetStyle())) {
            typed = &argument;
        }
    }
    std::string note;
    for (const auto& function : {getter, setter}) {
        if (function && note.empty()) {
            note = DeprecationNote(*function);
        }
    }
    PyRef result(Checked(PyDict_New()));
    Set(result.Get(), "name", Text(name.c_str()));
    Set(result.Get(), "type", Text(typed != nullptr ? PythonTypeName(*typed) : "Any"));
    Set(result.Get(), "class", ClassOfType(typed != nullptr ? typed->GetScriptType() : nullptr));
    Set(result.Get(), "readable", PyBool_FromLong(getter ? 1 : 0));
    Set(result.Get(), "writable", PyBool_FromLong(setter ? 1 : 0));
    Set(result.Get(), "deprecated", Text(note));
    return result.Release();
}

PyObject* DescribeClass(const boost::shared_ptr<Class>& scriptClass) {
    PyRef result(Checked(PyDict_New()));
    Set(result.Get(), "name", Text(scriptClass->GetScriptName()));
    const boost::shared_ptr<Class> base = Hosting::FirstVisibleClass(scriptClass->GetScriptBase());
    if (base) {
        Set(result.Get(), "base", Text(base->GetScriptName()));
    } else {
        Py_INCREF(Py_None);
        Set(result.Get(), "base", Py_None);
    }
    const std::wstring lastName =
        Hosting::SplitScriptName(TextOrEmpty(scriptClass->GetScriptName())).back();
    if (const auto constructor =
            Hosting::FindScriptFunction(scriptClass, lastName, ConstructorStyle, noObject)) {
        Set(result.Get(), "constructor", DescribeCallable(lastName, *constructor));
    } else {
        Py_INCREF(Py_None);
        Set(result.Get(), "constructor", Py_None);
    }
    FunctionMap functions;
    scriptClass->GetAllFunctions(functions);
    PyRef properties(Checked(PyList_New(0)));
    PyRef methods(Checked(PyList_New(0)));
    PyRef statics(Checked(PyList_New(0)));
    std::set<std::wstring> propertyNames, methodNames, staticNames;
    for (const auto& entry : functions) {
        const std::wstring& name = entry.first.first;
        const long style = entry.first.second;
        if ((style & (PropertyGetStyle | PropertySetStyle)) != 0 &&
            propertyNames.insert(name).second) {
            Append(properties.Get(), DescribeProperty(scriptClass, name));
        }
        if ((style & StaticStyle) != 0 && staticNames.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, StaticStyle, noObject)) {
                Append(statics.Get(), DescribeCallable(name, *function));
            }
        }
        if ((style & MethodStyles) != 0 && methodNames.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, MethodStyles, noObject)) {
                Append(methods.Get(), DescribeCallable(name, *function));
            }
        }
    }
    Set(result.Get(), "properties", properties.Release());
    Set(result.Get(), "methods", methods.Release());
    Set(result.Get(), "statics", statics.Release());
    return result.Release();
}

}  // namespace

PyObject* ClassNamesFunction(PyObject*, PyObject*) {
    try {
        PyRef names(Checked(PyList_New(0)));
        for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
            if (!entry.second->IsHidden()) {
                Append(names.Get(), Text(entry.second->GetScriptName()));
            }
        }
        return names.Release();
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* DescribeFunction(PyObject*, PyObject*) {
    try {
        PyRef classes(Checked(PyList_New(0)));
        for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
            if (!entry.second->IsHidden()) {
                Append(classes.Get(), DescribeClass(entry.second));
            }
        }
        return classes.Release();
    } catch (...) {
        return RaiseCaughtException();
    }
}

}  // namespace Python
}  // namespace VelmorandScript
