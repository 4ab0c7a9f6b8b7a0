// Script classes as Python types. Every class gets a heap type of its own, derived from the
// type of its script base (or velmorand.Object), so that isinstance follows the class chain.
// Instances hold the wrapper that presents their native value; attribute reads and writes call
// the class's property functions, other names give bound methods, and static functions sit in
// the type's dictionary.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <deque>
#include <map>
#include <new>

namespace VelmorandScript {
namespace Python {

namespace {

constexpr long MethodStyles = InstanceStyle | CommandStyle;

struct Instance {
    PyObject_HEAD
        // Constructed in place once Python has allocated the object.
        boost::shared_ptr<IObject>
            object;
};

struct BoundMethod {
    PyObject_HEAD PyObject* self;  // the instance, or null for a static function
    boost::shared_ptr<Class> scriptClass;
    std::wstring name;
    long styles;
};

PyObject* objectType = nullptr;
PyObject* methodType = nullptr;

/// Types and classes for the life of the process: modules stay loaded, and so do their classes.
struct TypeEntry {
    boost::shared_ptr<Class> scriptClass;
    PyObject* type;
};
std::map<const Class*, TypeEntry>& TypesByClass() {
    static std::map<const Class*, TypeEntry> types;
    return types;
}
std::map<const PyTypeObject*, boost::shared_ptr<Class>>& ClassesByType() {
    static std::map<const PyTypeObject*, boost::shared_ptr<Class>> classes;
    return classes;
}
/// The type names, which Python's heap types point into.
std::deque<std::string>& TypeNames() {
    static std::deque<std::string> names;
    return names;
}

/// The class a type (or the nearest of its bases) presents; empty for velmorand.Object.
boost::shared_ptr<Class> ClassOfType(PyTypeObject* type) {
    for (; type != nullptr; type = type->tp_base) {
        const auto found = ClassesByType().find(type);
        if (found != ClassesByType().end()) {
            return found->second;
        }
    }
    return boost::shared_ptr<Class>();
}

Instance* AsInstance(PyObject* self) {
    return reinterpret_cast<Instance*>(self);
}

/// The class a wrapper presents its value as: the standard wrapper's own, else the class of the
/// value's native type.
boost::shared_ptr<Class> ClassOfObject(const IObject& object) {
    if (const auto* standard = dynamic_cast<const Object*>(&object)) {
        if (boost::shared_ptr<Class> scriptClass = standard->GetClass()) {
            return scriptClass;
        }
    }
    return ClassRegistry::GetInstance().FindClassByCppType(object.GetScriptedObject());
}

/// The class an instance calls functions of: its wrapper's, else its type's.
boost::shared_ptr<Class> ClassOfInstance(PyObject* self) {
    const boost::shared_ptr<IObject>& object = AsInstance(self)->object;
    if (object) {
        if (boost::shared_ptr<Class> scriptClass = ClassOfObject(*object)) {
            return scriptClass;
        }
    }
    return ClassOfType(Py_TYPE(self));
}

bool IsSpecialName(PyObject* name) {
    return PyUnicode_Check(name) && PyUnicode_GetLength(name) >= 2 &&
           PyUnicode_ReadChar(name, 0) == '_' && PyUnicode_ReadChar(name, 1) == '_';
}

PyObject* AllocateInstance(PyTypeObject* type) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self != nullptr) {
        new (&AsInstance(self)->object) boost::shared_ptr<IObject>();
    }
    return self;
}

void InstanceDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    AsInstance(self)->object.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* NewBoundMethod(PyObject* self, const boost::shared_ptr<Class>& scriptClass,
                         const std::wstring& name, long styles) {
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(methodType);
    PyObject* method = type->tp_alloc(type, 0);
    if (method == nullptr) {
        throw PythonErrorPending();
    }
    auto* bound = reinterpret_cast<BoundMethod*>(method);
    new (&bound->scriptClass) boost::shared_ptr<Class>(scriptClass);
    new (&bound->name) std::wstring(name);
    bound->styles = styles;
    Py_XINCREF(self);
    bound->self = self;
    return method;
}

PyObject* InstanceGetAttr(PyObject* self, PyObject* name) {
    // Python's own attributes (__class__, __dict__ and the like) are no script functions.
    if (IsSpecialName(name)) {
        return PyObject_GenericGetAttr(self, name);
    }
    try {
        const boost::shared_ptr<Class> scriptClass = ClassOfInstance(self);
        if (scriptClass) {
            const std::wstring text = ToWide(name);
            const boost::shared_ptr<IObject>& object = AsInstance(self)->object;
            boost::shared_ptr<IFunction> getter =
                Hosting::FindScriptFunction(scriptClass, text, PropertyGetStyle, object);
            if (getter) {
                return CallFunction(scriptClass, text, PropertyGetStyle, object, getter, nullptr,
                                    0);
            }
            if (Hosting::FindScriptFunction(scriptClass, text, MethodStyles, object)) {
                return NewBoundMethod(self, scriptClass, text, MethodStyles);
            }
        }
    } catch (...) {
        return RaiseCaughtException();
    }
    // Static functions live in the type's dictionary; anything else is an AttributeError.
    return PyObject_GenericGetAttr(self, name);
}

int InstanceSetAttr(PyObject* self, PyObject* name, PyObject* value) {
    if (IsSpecialName(name)) {
        return PyObject_GenericSetAttr(self, name, value);
    }
    try {
        const boost::shared_ptr<Class> scriptClass = ClassOfInstance(self);
        const std::wstring text = ToWide(name);
        if (value == nullptr) {
            PyErr_Format(PyExc_AttributeError, "cannot delete the property '%U'", name);
            return -1;
        }
        const boost::shared_ptr<IObject>& object = AsInstance(self)->object;
        boost::shared_ptr<IFunction> setter =
            Hosting::FindScriptFunction(scriptClass, text, PropertySetStyle, object);
        if (!setter) {
            // Python's word for a name that cannot be set, with the library's text.
            try {
                Hosting::RaiseNoFunction(scriptClass, text, PropertySetStyle);
            } catch (const Common::Exception& error) {
                PyErr_SetString(PyExc_AttributeError,
                                Common::ToUtf8(error.GetExceptionMessage()).c_str());
                return -1;
            }
        }
        PyObject* result =
            CallFunction(scriptClass, text, PropertySetStyle, object, setter, &value, 1);
        Py_DECREF(result);
        return 0;
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

PyObject* InstanceRepr(PyObject* self) {
    // The wrapper's dump shows the address of a copy of the value; the wrapper's own address
    // tells objects apart.
    return PyUnicode_FromFormat("<%s object at %p>", Py_TYPE(self)->tp_name,
                                static_cast<void*>(AsInstance(self)->object.get()));
}

/// Calling a class's type runs its constructor, the function named like the class's last
/// name part.
PyObject* ClassNew(PyTypeObject* type, PyObject* arguments, PyObject* keywords) {
    if (keywords != nullptr && PyDict_GET_SIZE(keywords) != 0) {
        PyErr_SetString(PyExc_TypeError, "script functions take no keyword arguments");
        return nullptr;
    }
    try {
        const boost::shared_ptr<Class> scriptClass = ClassOfType(type);
        if (!scriptClass) {
            PyErr_SetString(PyExc_TypeError, "velmorand.Object cannot be constructed");
            return nullptr;
        }
        std::wstring name = TextOrEmpty(scriptClass->GetScriptName());
        const std::size_t separator = name.rfind(L"::");
        if (separator != std::wstring::npos) {
            name.erase(0, separator + 2);
        }
        const boost::shared_ptr<IObject> none;
        const boost::shared_ptr<IFunction> constructor =
            Hosting::FindScriptFunction(scriptClass, name, ConstructorStyle, none);
        return CallFunction(scriptClass, name, ConstructorStyle, none, constructor,
                            &PyTuple_GET_ITEM(arguments, 0), PyTuple_GET_SIZE(arguments));
    } catch (...) {
        return RaiseCaughtException();
    }
}

void MethodDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto* bound = reinterpret_cast<BoundMethod*>(self);
    Py_XDECREF(bound->self);
    bound->scriptClass.~shared_ptr();
    bound->name.~basic_string();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* MethodCall(PyObject* self, PyObject* arguments, PyObject* keywords) {
    if (keywords != nullptr && PyDict_GET_SIZE(keywords) != 0) {
        PyErr_SetString(PyExc_TypeError, "script functions take no keyword arguments");
        return nullptr;
    }
    auto* bound = reinterpret_cast<BoundMethod*>(self);
    try {
        const boost::shared_ptr<IObject> none;
        const boost::shared_ptr<IObject>& object =
            bound->self != nullptr ? AsInstance(bound->self)->object : none;
        const boost::shared_ptr<IFunction> function =
            Hosting::FindScriptFunction(bound->scriptClass, bound->name, bound->styles, object);
        return CallFunction(bound->scriptClass, bound->name, bound->styles, object, function,
                            &PyTuple_GET_ITEM(arguments, 0), PyTuple_GET_SIZE(arguments));
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* MethodRepr(PyObject* self) {
    auto* bound = reinterpret_cast<BoundMethod*>(self);
    try {
        const std::string text = Common::ToUtf8(
            std::wstring(TextOrEmpty(bound->scriptClass->GetScriptName())) + L"::" + bound->name);
        return PyUnicode_FromFormat(
            bound->self != nullptr ? "<velmorand method %s>" : "<velmorand static function %s>",
            text.c_str());
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyType_Slot objectSlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&InstanceDealloc)},
                             {Py_tp_getattro, reinterpret_cast<void*>(&InstanceGetAttr)},
                             {Py_tp_setattro, reinterpret_cast<void*>(&InstanceSetAttr)},
                             {Py_tp_repr, reinterpret_cast<void*>(&InstanceRepr)},
                             {Py_tp_new, reinterpret_cast<void*>(&ClassNew)},
                             {0, nullptr}};
PyType_Spec objectSpec = {"velmorand.Object", sizeof(Instance), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, objectSlots};

PyType_Slot methodSlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&MethodDealloc)},
                             {Py_tp_call, reinterpret_cast<void*>(&MethodCall)},
                             {Py_tp_repr, reinterpret_cast<void*>(&MethodRepr)},
                             {0, nullptr}};
PyType_Spec methodSpec = {"velmorand.Method", sizeof(BoundMethod), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, methodSlots};

/// Puts the static functions of the class and its bases into the type's dictionary.
void AddStaticFunctions(PyObject* type, const boost::shared_ptr<Class>& scriptClass) {
    FunctionMap functions;
    scriptClass->GetAllFunctions(functions);
    for (const auto& entry : functions) {
        if ((entry.first.second & StaticStyle) == 0) {
            continue;
        }
        PyObject* function = NewBoundMethod(nullptr, scriptClass, entry.first.first, StaticStyle);
        const std::string name = Common::ToUtf8(entry.first.first);
        const int failed = PyObject_SetAttrString(type, name.c_str(), function);
        Py_DECREF(function);
        if (failed != 0) {
            throw PythonErrorPending();
        }
    }
}

}  // namespace

bool InitClassTypes() {
    objectType = PyType_FromSpec(&objectSpec);
    if (objectType == nullptr) {
        return false;
    }
    methodType = PyType_FromSpec(&methodSpec);
    return methodType != nullptr;
}

PyObject* GetClassType(const boost::shared_ptr<Class>& scriptClass) {
    const auto found = TypesByClass().find(scriptClass.get());
    if (found != TypesByClass().end()) {
        return found->second.type;
    }
    const boost::shared_ptr<Class> base = scriptClass->GetScriptBase();
    PyObject* baseType = base ? GetClassType(base) : objectType;
    // Python takes the type's __name__ from after the last dot: the class's script name.
    TypeNames().push_back("velmorand." + Common::ToUtf8(TextOrEmpty(scriptClass->GetScriptName())));
    PyType_Slot slots[] = {{Py_tp_new, reinterpret_cast<void*>(&ClassNew)}, {0, nullptr}};
    PyType_Spec layout = {TypeNames().back().c_str(), 0, 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, slots};
    PyObject* type = PyType_FromSpecWithBases(&layout, baseType);
    if (type == nullptr) {
        throw PythonErrorPending();
    }
    ClassesByType()[reinterpret_cast<PyTypeObject*>(type)] = scriptClass;
    TypesByClass()[scriptClass.get()] = TypeEntry{scriptClass, type};
    AddStaticFunctions(type, scriptClass);
    return type;
}

PyObject* NewInstance(const boost::shared_ptr<IObject>& object) {
    const boost::shared_ptr<Class> scriptClass = ClassOfObject(*object);
    PyObject* type = scriptClass ? GetClassType(scriptClass) : objectType;
    PyObject* self = AllocateInstance(reinterpret_cast<PyTypeObject*>(type));
    if (self == nullptr) {
        throw PythonErrorPending();
    }
    AsInstance(self)->object = object;
    return self;
}

const boost::shared_ptr<IObject>* ToObject(PyObject* candidate) {
    if (PyObject_TypeCheck(candidate, reinterpret_cast<PyTypeObject*>(objectType)) == 0) {
        return nullptr;
    }
    return &AsInstance(candidate)->object;
}

}  // namespace Python
}  // namespace VelmorandScript
