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

/// A new reference, released when the owner goes unless it was handed on.
class Owned {
public:
    explicit Owned(PyObject* object) : m_object(object) {
        if (m_object == nullptr) {
            throw PythonErrorPending();
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Py_XDECREF(m_object); }
    PyObject* get() const { return m_object; }
    PyObject* release() {
        PyObject* object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    PyObject* m_object;
};

PyObject* Text(const wchar_t* text) {
    const std::string utf8 = Common::ToUtf8(TextOrEmpty(text));
    return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

PyObject* Text(const std::string& text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

void Set(PyObject* dict, const char* key, PyObject* value) {
    const Owned owned(value);
    if (PyDict_SetItemString(dict, key, owned.get()) != 0) {
        throw PythonErrorPending();
    }
}

void Append(PyObject* list, PyObject* item) {
    const Owned owned(item);
    if (PyList_Append(list, owned.get()) != 0) {
        throw PythonErrorPending();
    }
}

/// Scripts meet an object of a hidden class as its first visible base.
boost::shared_ptr<Class> FirstVisible(boost::shared_ptr<Class> scriptClass) {
    while (scriptClass && scriptClass->IsHidden()) {
        scriptClass = scriptClass->GetScriptBase();
    }
    return scriptClass;
}

/// The script name of the visible class behind a script type, or None for a type that is no
/// class: the stubs qualify class names across namespaces with it.
PyObject* ClassOfType(const wchar_t* scriptType) {
    const boost::shared_ptr<Class> scriptClass =
        scriptType != nullptr
            ? FirstVisible(ClassRegistry::GetInstance().FindClassByScriptName(scriptType))
            : boost::shared_ptr<Class>();
    if (!scriptClass) {
        Py_RETURN_NONE;
    }
    return Text(scriptClass->GetScriptName());
}

/// {"name", "type", "class"} of an argument; inputs add "optional" and "default".
PyObject* DescribeArgument(const Argument& argument, bool input) {
    Owned result(PyDict_New());
    Set(result.get(), "name", Text(argument.GetName()));
    Set(result.get(), "type", Text(PythonTypeName(argument)));
    Set(result.get(), "class", ClassOfType(argument.GetScriptType()));
    if (input) {
        Set(result.get(), "optional", PyBool_FromLong(argument.IsOptional() ? 1 : 0));
        Set(result.get(), "default", Text(argument.GetScriptDefaultValue()));
    }
    return result.release();
}

/// The note on a deprecated function: its kind and what replaces it; "" for other functions.
std::string DeprecationNote(const IFunction& function) {
    const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function);
    if ((function.GetStyle() & DeprecatedStyle) == 0 || deprecated == nullptr) {
        return std::string();
    }
    const std::string kind = Common::ToUtf8(TextOrEmpty(deprecated->GetDeprecationType()));
    const std::string replacement =
        Common::ToUtf8(TextOrEmpty(deprecated->GetDelegateFunctionNames()));
    return "Deprecated" + (kind.empty() ? std::string() : " (" + kind + ")") +
           (replacement.empty() ? std::string(".") : ": use " + replacement + " instead.");
}

/// {"name", "description", "deprecated", "arguments", "results"}: the arguments the script
/// passes in order, and what it receives, the return value before the outputs.
PyObject* DescribeCallable(const std::wstring& name, const IFunction& function) {
    Owned result(PyDict_New());
    Set(result.get(), "name", Text(name.c_str()));
    Set(result.get(), "description", Text(function.GetDescription()));
    Set(result.get(), "deprecated", Text(DeprecationNote(function)));
    Owned inputs(PyList_New(0));
    Owned results(PyList_New(0));
    const std::vector<Argument>& arguments = function.GetArguments();
    for (const Argument& argument : arguments) {
        if (!Hosting::IsContextArgument(argument) &&
            Hosting::IsScriptInputStyle(argument.GetStyle())) {
            Append(inputs.get(), DescribeArgument(argument, true));
        }
    }
    for (const Argument& argument : arguments) {
        if (Hosting::IsScriptResult(argument)) {
            Append(results.get(), DescribeArgument(argument, false));
        }
    }
    for (const Argument& argument : arguments) {
        if (Hosting::IsScriptOutput(argument.GetStyle()) && !Hosting::IsContextArgument(argument)) {
            Append(results.get(), DescribeArgument(argument, false));
        }
    }
    Set(result.get(), "arguments", inputs.release());
    Set(result.get(), "results", results.release());
    return result.release();
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
    Owned result(PyDict_New());
    Set(result.get(), "name", Text(name.c_str()));
    Set(result.get(), "type", Text(typed != nullptr ? PythonTypeName(*typed) : "Any"));
    Set(result.get(), "class", ClassOfType(typed != nullptr ? typed->GetScriptType() : nullptr));
    Set(result.get(), "readable", PyBool_FromLong(getter ? 1 : 0));
    Set(result.get(), "writable", PyBool_FromLong(setter ? 1 : 0));
    Set(result.get(), "deprecated", Text(note));
    return result.release();
}

PyObject* DescribeClass(const boost::shared_ptr<Class>& scriptClass) {
    Owned result(PyDict_New());
    Set(result.get(), "name", Text(scriptClass->GetScriptName()));
    const boost::shared_ptr<Class> base = FirstVisible(scriptClass->GetScriptBase());
    if (base) {
        Set(result.get(), "base", Text(base->GetScriptName()));
    } else {
        Py_INCREF(Py_None);
        Set(result.get(), "base", Py_None);
    }
    const std::wstring lastName =
        Hosting::SplitScriptName(TextOrEmpty(scriptClass->GetScriptName())).back();
    if (const auto constructor =
            Hosting::FindScriptFunction(scriptClass, lastName, ConstructorStyle, noObject)) {
        Set(result.get(), "constructor", DescribeCallable(lastName, *constructor));
    } else {
        Py_INCREF(Py_None);
        Set(result.get(), "constructor", Py_None);
    }
    FunctionMap functions;
    scriptClass->GetAllFunctions(functions);
    Owned properties(PyList_New(0));
    Owned methods(PyList_New(0));
    Owned statics(PyList_New(0));
    std::set<std::wstring> propertyNames, methodNames, staticNames;
    for (const auto& entry : functions) {
        const std::wstring& name = entry.first.first;
        const long style = entry.first.second;
        if ((style & (PropertyGetStyle | PropertySetStyle)) != 0 &&
            propertyNames.insert(name).second) {
            Append(properties.get(), DescribeProperty(scriptClass, name));
        }
        if ((style & StaticStyle) != 0 && staticNames.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, StaticStyle, noObject)) {
                Append(statics.get(), DescribeCallable(name, *function));
            }
        }
        if ((style & MethodStyles) != 0 && methodNames.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, MethodStyles, noObject)) {
                Append(methods.get(), DescribeCallable(name, *function));
            }
        }
    }
    Set(result.get(), "properties", properties.release());
    Set(result.get(), "methods", methods.release());
    Set(result.get(), "statics", statics.release());
    return result.release();
}

}  // namespace

PyObject* ClassNamesFunction(PyObject*, PyObject*) {
    try {
        Owned names(PyList_New(0));
        for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
            if (!entry.second->IsHidden()) {
                Append(names.get(), Text(entry.second->GetScriptName()));
            }
        }
        return names.release();
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* DescribeFunction(PyObject*, PyObject*) {
    try {
        Owned classes(PyList_New(0));
        for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
            if (!entry.second->IsHidden()) {
                Append(classes.get(), DescribeClass(entry.second));
            }
        }
        return classes.release();
    } catch (...) {
        return RaiseCaughtException();
    }
}

}  // namespace Python
}  // namespace VelmorandScript
