// Script classes as Python types. Every class gets a heap type of its own, derived from the
// type of its script base (or velmorand.Object), so that isinstance follows the class chain.
// The type's dictionary holds a descriptor per script member of the class (its bases' too):
// properties as data descriptors, instance functions as method descriptors that Python calls
// without making a bound method, static functions as plain callables. Python's own attribute
// lookup then finds them, and dir() and help() list them. Each descriptor keeps the function it
// calls and its typed-call plan, so a call looks nothing up.

#include "FastCalls.h"
#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <typeinfo>

#include <structmember.h>

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

Instance* AsInstance(PyObject* self) {
    return reinterpret_cast<Instance*>(self);
}

/// One script function as a member of a type calls it: found once, with its typed-call plan.
struct Member {
    boost::shared_ptr<Class> scriptClass;
    std::wstring name;
    long styles = 0;
    boost::shared_ptr<IFunction> function;
    std::unique_ptr<const Hosting::TypedCallPlan> plan;
    Hosting::CallNames names;

    void Bind(const boost::shared_ptr<Class>& owner, const std::wstring& memberName,
              long memberStyles) {
        scriptClass = owner;
        name = memberName;
        styles = memberStyles;
        function = Hosting::FindScriptFunction(owner, memberName, memberStyles,
                                               boost::shared_ptr<IObject>());
        if (function) {
            plan = Hosting::TypedCallPlan::For(*function);
            names = Hosting::CallNames{TextOrEmpty(owner->GetScriptName()),
                                       TextOrEmpty(function->GetName())};
        }
    }

    /// Calls the function on `object` (empty for none); the typed way when its plan applies.
    /// Deprecated functions have no plan (nor a current one once a descriptor became one), so
    /// the general way follows their deprecations on every call.
    PyObject* Call(const boost::shared_ptr<IObject>& object, PyObject* const* arguments,
                   Py_ssize_t count) const {
        if (plan && UsesTypedCalls() && plan->IsCurrent()) {
            Value copy;
            const Value* target = &copy;
            if (object) {
                const IObject& wrapper = *object;
                if (typeid(wrapper) == typeid(Object)) {
                    target = &static_cast<const Object&>(wrapper).GetScriptedObjectRef();
                } else {
                    copy = wrapper.GetScriptedObject();
                }
            }
            PyObject* result = nullptr;
            if (CallTyped(*plan, names, *target, arguments, count, result)) {
                return result;
            }
        }
        return CallFunction(scriptClass, name, styles, object, function, arguments, count);
    }
};

/// An instance or static function of a class, as its type's dictionary holds it.
struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    PyTypeObject* owner;  // the type whose dictionary holds it; types live as long as the process
    PyObject* name;
    PyObject* doc;
    PyObject* signature;
    Member member;
    /// A method's static function of the same name, which a call without an instance runs.
    Member staticMember;
};

/// A property: its getter and setter.
struct PropertyObject {
    PyObject_HEAD PyTypeObject* owner;
    PyObject* name;
    PyObject* doc;
    Member getter;
    Member setter;
};

PyObject* objectType = nullptr;
PyObject* methodType = nullptr;
PyObject* staticType = nullptr;
PyObject* propertyType = nullptr;

/// Types and classes for the life of the process: modules stay loaded, and so do their classes.
struct TypeEntry {
    boost::shared_ptr<Class> scriptClass;
    PyObject* type;
};
std::map<const Class*, TypeEntry>& TypesByClass() {
    static std::map<const Class*, TypeEntry> types;
    return types;
}
/// What a type presents: its class, and the constructor that calling the type runs.
struct TypeClass {
    boost::shared_ptr<Class> scriptClass;
    Member constructor;
};
std::map<const PyTypeObject*, std::unique_ptr<TypeClass>>& ClassesByType() {
    static std::map<const PyTypeObject*, std::unique_ptr<TypeClass>> classes;
    return classes;
}
/// The type names and docs, which Python's heap types point into.
std::deque<std::string>& TypeTexts() {
    static std::deque<std::string> texts;
    return texts;
}

/// What a type (or the nearest of its bases) presents; null for velmorand.Object.
const TypeClass* FindTypeClass(PyTypeObject* type) {
    for (; type != nullptr; type = type->tp_base) {
        const auto found = ClassesByType().find(type);
        if (found != ClassesByType().end()) {
            return found->second.get();
        }
    }
    return nullptr;
}

/// The class a type (or the nearest of its bases) presents; empty for velmorand.Object.
boost::shared_ptr<Class> ClassOfType(PyTypeObject* type) {
    const TypeClass* presented = FindTypeClass(type);
    return presented != nullptr ? presented->scriptClass : boost::shared_ptr<Class>();
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

std::wstring LastNamePart(const wchar_t* scriptName) {
    std::wstring name = TextOrEmpty(scriptName);
    const std::size_t separator = name.rfind(L"::");
    if (separator != std::wstring::npos) {
        name.erase(0, separator + 2);
    }
    return name;
}

/// A type's __name__: its tp_name after the module's dotted name.
const char* TypeName(PyTypeObject* type) {
    const char* dot = std::strrchr(type->tp_name, '.');
    return dot != nullptr ? dot + 1 : type->tp_name;
}

// --- Instances -----------------------------------------------------------------------------

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

/// Names the type's descriptors do not know are no attributes: instances have no __dict__, so
/// a misspelt property fails rather than making one.
int InstanceSetAttr(PyObject* self, PyObject* name, PyObject* value) {
    if (PyUnicode_Check(name) && _PyType_Lookup(Py_TYPE(self), name) == nullptr) {
        const boost::shared_ptr<Class> scriptClass = ClassOfType(Py_TYPE(self));
        PyErr_Format(PyExc_AttributeError, "%s has no property named '%U'",
                     scriptClass ? Common::ToUtf8(TextOrEmpty(scriptClass->GetScriptName())).c_str()
                                 : "velmorand.Object",
                     name);
        return -1;
    }
    return PyObject_GenericSetAttr(self, name, value);
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
        const TypeClass* presented = FindTypeClass(type);
        if (presented == nullptr) {
            PyErr_SetString(PyExc_TypeError, "velmorand.Object cannot be constructed");
            return nullptr;
        }
        return presented->constructor.Call(boost::shared_ptr<IObject>(),
                                           &PyTuple_GET_ITEM(arguments, 0),
                                           PyTuple_GET_SIZE(arguments));
    } catch (...) {
        return RaiseCaughtException();
    }
}

// --- Functions -----------------------------------------------------------------------------

bool RejectKeywords(PyObject* keywordNames) {
    if (keywordNames != nullptr && PyTuple_GET_SIZE(keywordNames) != 0) {
        PyErr_SetString(PyExc_TypeError, "script functions take no keyword arguments");
        return true;
    }
    return false;
}

/// A method called through its descriptor: the instance is the first argument.
PyObject* MethodVectorcall(PyObject* callable, PyObject* const* arguments, std::size_t flags,
                           PyObject* keywordNames) {
    auto* method = reinterpret_cast<FunctionObject*>(callable);
    if (RejectKeywords(keywordNames)) {
        return nullptr;
    }
    const Py_ssize_t count = PyVectorcall_NARGS(flags);
    try {
        if (count >= 1 && PyObject_TypeCheck(arguments[0], method->owner) != 0) {
            return method->member.Call(AsInstance(arguments[0])->object, arguments + 1, count - 1);
        }
        if (method->staticMember.function) {
            return method->staticMember.Call(boost::shared_ptr<IObject>(), arguments, count);
        }
        PyErr_Format(PyExc_TypeError, "%s.%U is a method: call it on a %s object (got %s)",
                     TypeName(method->owner), method->name, TypeName(method->owner),
                     count < 1 ? "no object" : TypeName(Py_TYPE(arguments[0])));
        return nullptr;
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* StaticVectorcall(PyObject* callable, PyObject* const* arguments, std::size_t flags,
                           PyObject* keywordNames) {
    auto* function = reinterpret_cast<FunctionObject*>(callable);
    if (RejectKeywords(keywordNames)) {
        return nullptr;
    }
    try {
        return function->member.Call(boost::shared_ptr<IObject>(), arguments,
                                     PyVectorcall_NARGS(flags));
    } catch (...) {
        return RaiseCaughtException();
    }
}

/// Read from an instance, a method is bound to it; read from the type, it is the descriptor.
PyObject* MethodGet(PyObject* self, PyObject* instance, PyObject*) {
    if (instance == nullptr || instance == Py_None) {
        Py_INCREF(self);
        return self;
    }
    return PyMethod_New(self, instance);
}

/// A static function is the same callable read from the type or an instance.
PyObject* StaticGet(PyObject* self, PyObject*, PyObject*) {
    Py_INCREF(self);
    return self;
}

void FunctionDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto* function = reinterpret_cast<FunctionObject*>(self);
    Py_XDECREF(function->name);
    Py_XDECREF(function->doc);
    Py_XDECREF(function->signature);
    function->member.~Member();
    function->staticMember.~Member();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* FunctionRepr(PyObject* self) {
    auto* function = reinterpret_cast<FunctionObject*>(self);
    return PyUnicode_FromFormat(Py_TYPE(self) == reinterpret_cast<PyTypeObject*>(methodType)
                                    ? "<velmorand method %U of %s>"
                                    : "<velmorand static function %U of %s>",
                                function->name, function->owner->tp_name);
}

PyObject* NewReference(PyObject* object) {
    Py_INCREF(object);
    return object;
}

PyObject* FunctionName(PyObject* self, void*) {
    return NewReference(reinterpret_cast<FunctionObject*>(self)->name);
}
PyObject* FunctionQualifiedName(PyObject* self, void*) {
    auto* function = reinterpret_cast<FunctionObject*>(self);
    return PyUnicode_FromFormat("%s.%U", TypeName(function->owner), function->name);
}
PyObject* FunctionDoc(PyObject* self, void*) {
    return NewReference(reinterpret_cast<FunctionObject*>(self)->doc);
}
PyObject* FunctionSignature(PyObject* self, void*) {
    return NewReference(reinterpret_cast<FunctionObject*>(self)->signature);
}
PyObject* FunctionOwner(PyObject* self, void*) {
    return NewReference(
        reinterpret_cast<PyObject*>(reinterpret_cast<FunctionObject*>(self)->owner));
}

PyGetSetDef functionProperties[] = {
    {"__name__", &FunctionName, nullptr, nullptr, nullptr},
    {"__qualname__", &FunctionQualifiedName, nullptr, nullptr, nullptr},
    {"__doc__", &FunctionDoc, nullptr, nullptr, nullptr},
    {"__text_signature__", &FunctionSignature, nullptr, nullptr, nullptr},
    {"__objclass__", &FunctionOwner, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMemberDef functionMembers[] = {
    {"__vectorcalloffset__", T_PYSSIZET,
     static_cast<Py_ssize_t>(offsetof(FunctionObject, vectorcall)), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr}};

// --- Properties ----------------------------------------------------------------------------

PyObject* PropertyGet(PyObject* self, PyObject* instance, PyObject*) {
    auto* property = reinterpret_cast<PropertyObject*>(self);
    if (instance == nullptr || instance == Py_None) {
        return NewReference(self);
    }
    if (PyObject_TypeCheck(instance, property->owner) == 0) {
        PyErr_Format(PyExc_TypeError, "%U is a property of %s objects", property->name,
                     property->owner->tp_name);
        return nullptr;
    }
    if (!property->getter.function) {
        PyErr_Format(PyExc_AttributeError, "%U of %s can only be set", property->name,
                     property->owner->tp_name);
        return nullptr;
    }
    try {
        return property->getter.Call(AsInstance(instance)->object, nullptr, 0);
    } catch (...) {
        return RaiseCaughtException();
    }
}

int PropertySet(PyObject* self, PyObject* instance, PyObject* value) {
    auto* property = reinterpret_cast<PropertyObject*>(self);
    if (value == nullptr) {
        PyErr_Format(PyExc_AttributeError, "cannot delete the property '%U'", property->name);
        return -1;
    }
    if (PyObject_TypeCheck(instance, property->owner) == 0) {
        PyErr_Format(PyExc_TypeError, "%U is a property of %s objects", property->name,
                     property->owner->tp_name);
        return -1;
    }
    try {
        if (!property->setter.function) {
            // Python's word for a name that cannot be set, with the library's text.
            try {
                Hosting::RaiseNoFunction(property->setter.scriptClass, property->setter.name,
                                         PropertySetStyle);
            } catch (const Common::Exception& error) {
                PyErr_SetString(PyExc_AttributeError,
                                Common::ToUtf8(error.GetExceptionMessage()).c_str());
                return -1;
            }
        }
        PyObject* result = property->setter.Call(AsInstance(instance)->object, &value, 1);
        Py_DECREF(result);
        return 0;
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

void PropertyDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto* property = reinterpret_cast<PropertyObject*>(self);
    Py_XDECREF(property->name);
    Py_XDECREF(property->doc);
    property->getter.~Member();
    property->setter.~Member();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* PropertyName(PyObject* self, void*) {
    return NewReference(reinterpret_cast<PropertyObject*>(self)->name);
}
PyObject* PropertyDoc(PyObject* self, void*) {
    return NewReference(reinterpret_cast<PropertyObject*>(self)->doc);
}
PyObject* PropertyOwner(PyObject* self, void*) {
    return NewReference(
        reinterpret_cast<PyObject*>(reinterpret_cast<PropertyObject*>(self)->owner));
}

PyGetSetDef propertyProperties[] = {{"__name__", &PropertyName, nullptr, nullptr, nullptr},
                                    {"__doc__", &PropertyDoc, nullptr, nullptr, nullptr},
                                    {"__objclass__", &PropertyOwner, nullptr, nullptr, nullptr},
                                    {nullptr, nullptr, nullptr, nullptr, nullptr}};

// --- Type layouts --------------------------------------------------------------------------
// The descriptor types are immutable: only then does Python's specializing interpreter cache
// what it found for a name (LOAD_METHOD_NO_DICT), which saves a dictionary lookup per call.

PyType_Slot objectSlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&InstanceDealloc)},
                             {Py_tp_setattro, reinterpret_cast<void*>(&InstanceSetAttr)},
                             {Py_tp_repr, reinterpret_cast<void*>(&InstanceRepr)},
                             {Py_tp_new, reinterpret_cast<void*>(&ClassNew)},
                             {0, nullptr}};
PyType_Spec objectLayout = {"velmorand.Object", sizeof(Instance), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, objectSlots};

PyType_Slot methodSlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&FunctionDealloc)},
                             {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
                             {Py_tp_descr_get, reinterpret_cast<void*>(&MethodGet)},
                             {Py_tp_repr, reinterpret_cast<void*>(&FunctionRepr)},
                             {Py_tp_getset, functionProperties},
                             {Py_tp_members, functionMembers},
                             {0, nullptr}};
PyType_Spec methodLayout = {"velmorand.Method", sizeof(FunctionObject), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
                                Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_VECTORCALL |
                                Py_TPFLAGS_METHOD_DESCRIPTOR,
                            methodSlots};

PyType_Slot staticSlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&FunctionDealloc)},
                             {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
                             {Py_tp_descr_get, reinterpret_cast<void*>(&StaticGet)},
                             {Py_tp_repr, reinterpret_cast<void*>(&FunctionRepr)},
                             {Py_tp_getset, functionProperties},
                             {Py_tp_members, functionMembers},
                             {0, nullptr}};
PyType_Spec staticLayout = {"velmorand.StaticFunction", sizeof(FunctionObject), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
                                Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_VECTORCALL,
                            staticSlots};

PyType_Slot propertySlots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&PropertyDealloc)},
                               {Py_tp_descr_get, reinterpret_cast<void*>(&PropertyGet)},
                               {Py_tp_descr_set, reinterpret_cast<void*>(&PropertySet)},
                               {Py_tp_getset, propertyProperties},
                               {0, nullptr}};
PyType_Spec propertyLayout = {
    "velmorand.Property", sizeof(PropertyObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    propertySlots};

// --- Signatures and help texts -------------------------------------------------------------

bool IsPythonKeyword(const std::string& name) {
    static const std::set<std::string> keywords = {
        "False", "None",     "True",  "and",    "as",   "assert", "async",  "await",    "break",
        "class", "continue", "def",   "del",    "elif", "else",   "except", "finally",  "for",
        "from",  "global",   "if",    "import", "in",   "is",     "lambda", "nonlocal", "not",
        "or",    "pass",     "raise", "return", "try",  "while",  "with",   "yield",    "self"};
    return keywords.count(name) != 0;
}

/// A parameter name Python takes, unique among `taken`.
std::string ParameterName(const wchar_t* name, std::size_t position, std::set<std::string>& taken) {
    std::string result = Common::ToUtf8(TextOrEmpty(name));
    for (char& c : result) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(c >= '0' && c <= '9')) {
            c = '_';
        }
    }
    if (result.empty()) {
        result = "arg" + std::to_string(position + 1);
    } else if (result[0] >= '0' && result[0] <= '9') {
        result = "_" + result;
    }
    while (IsPythonKeyword(result) || taken.count(result) != 0) {
        result += '_';
    }
    taken.insert(result);
    return result;
}

/// The default of an optional argument as a Python literal: its value's Python form where that
/// is a plain value, else its script text as a str.
std::string DefaultLiteral(const Argument& argument) {
    std::string literal;
    try {
        PyObject* value = ToPython(argument.GetDefaultValue());
        if (value == Py_None || PyBool_Check(value) || PyLong_CheckExact(value) ||
            PyFloat_CheckExact(value) || PyUnicode_CheckExact(value)) {
            PyObject* text = PyObject_Repr(value);
            if (text != nullptr) {
                literal = PyUnicode_AsUTF8(text) != nullptr ? PyUnicode_AsUTF8(text) : "";
                Py_DECREF(text);
            }
        }
        Py_DECREF(value);
    } catch (...) {
        // The script text below serves.
    }
    PyErr_Clear();
    if (literal.empty()) {
        PyObject* text = PyUnicode_FromString(
            Common::ToUtf8(TextOrEmpty(argument.GetScriptDefaultValue())).c_str());
        PyObject* quoted = text != nullptr ? PyObject_Repr(text) : nullptr;
        literal = quoted != nullptr && PyUnicode_AsUTF8(quoted) != nullptr
                      ? PyUnicode_AsUTF8(quoted)
                      : "None";
        Py_XDECREF(quoted);
        Py_XDECREF(text);
        PyErr_Clear();
    }
    return literal;
}

/// What help() and inspect.signature read: the text signature ("($self, dx, dy, /)") and the
/// doc ("Move(dx: float, dy: float) -> None", the description and deprecation note).
struct Texts {
    std::string signature;
    std::string doc;
};

Texts DescribeFunction(const IFunction& function, const std::string& name, bool method,
                       const std::string& resultType) {
    const std::vector<Argument>& arguments = function.GetArguments();
    std::vector<const Argument*> inputs;
    std::vector<std::string> results;
    for (const Argument& argument : arguments) {
        if (Hosting::IsContextArgument(argument)) {
            continue;
        }
        if (Hosting::IsScriptInputStyle(argument.GetStyle())) {
            inputs.push_back(&argument);
        }
        if (Hosting::IsScriptResult(argument)) {
            results.insert(results.begin(), PythonTypeName(argument));
        } else if (Hosting::IsScriptOutput(argument.GetStyle())) {
            results.push_back(PythonTypeName(argument));
        }
    }
    // Python takes defaults only on the last parameters.
    std::size_t firstDefault = inputs.size();
    while (firstDefault > 0 && inputs[firstDefault - 1]->IsOptional()) {
        --firstDefault;
    }
    std::set<std::string> taken;
    std::string parameters = method ? "$self" : "";
    std::string annotated;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string parameter = ParameterName(inputs[i]->GetName(), i, taken);
        const std::string literal = i >= firstDefault ? DefaultLiteral(*inputs[i]) : "";
        parameters +=
            (parameters.empty() ? "" : ", ") + parameter + (literal.empty() ? "" : "=" + literal);
        annotated += (i == 0 ? "" : ", ") + parameter + ": " + PythonTypeName(*inputs[i]) +
                     (literal.empty() ? "" : " = " + literal);
    }
    parameters += parameters.empty() ? "/" : ", /";
    std::string result = resultType;
    if (result.empty()) {
        if (results.empty()) {
            result = "None";
        } else if (results.size() == 1) {
            result = results[0];
        } else {
            result = "tuple[";
            for (std::size_t i = 0; i < results.size(); ++i) {
                result += (i == 0 ? "" : ", ") + results[i];
            }
            result += "]";
        }
    }
    Texts texts;
    texts.signature = "(" + parameters + ")";
    texts.doc = name + "(" + annotated + ") -> " + result;
    const std::string description = Common::ToUtf8(TextOrEmpty(function.GetDescription()));
    if (!description.empty()) {
        texts.doc += "\n\n" + description;
    }
    const std::string note = DeprecationNote(function);
    if (!note.empty()) {
        texts.doc += "\n\n" + note;
    }
    return texts;
}

// --- Building a type's dictionary ----------------------------------------------------------

void SetMember(PyObject* type, const std::string& name, PyObject* member) {
    const int failed = PyObject_SetAttrString(type, name.c_str(), member);
    Py_DECREF(member);
    if (failed != 0) {
        throw PythonErrorPending();
    }
}

PyObject* NewFunction(PyObject* kind, PyTypeObject* owner,
                      const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
                      long styles) {
    auto* layout = reinterpret_cast<PyTypeObject*>(kind);
    PyObject* made = Checked(layout->tp_alloc(layout, 0));
    auto* function = reinterpret_cast<FunctionObject*>(made);
    new (&function->member) Member();
    new (&function->staticMember) Member();
    function->vectorcall = kind == methodType ? &MethodVectorcall : &StaticVectorcall;
    function->owner = owner;
    function->member.Bind(scriptClass, name, styles);
    const std::string text = Common::ToUtf8(name);
    function->name = NewText(text);
    if (function->member.function) {
        const Texts texts =
            DescribeFunction(*function->member.function, text, kind == methodType, "");
        function->doc = NewText(texts.doc);
        function->signature = NewText(texts.signature);
    } else {
        function->doc = NewReference(Py_None);
        function->signature = NewReference(Py_None);
    }
    return made;
}

PyObject* NewProperty(PyTypeObject* owner, const boost::shared_ptr<Class>& scriptClass,
                      const std::wstring& name) {
    auto* layout = reinterpret_cast<PyTypeObject*>(propertyType);
    PyObject* made = Checked(layout->tp_alloc(layout, 0));
    auto* property = reinterpret_cast<PropertyObject*>(made);
    new (&property->getter) Member();
    new (&property->setter) Member();
    property->owner = owner;
    property->getter.Bind(scriptClass, name, PropertyGetStyle);
    property->setter.Bind(scriptClass, name, PropertySetStyle);
    const std::string text = Common::ToUtf8(name);
    property->name = NewText(text);
    std::string doc = text;
    const IFunction* described = property->getter.function ? property->getter.function.get()
                                                           : property->setter.function.get();
    if (described != nullptr) {
        for (const Argument& argument : described->GetArguments()) {
            if (!Hosting::IsContextArgument(argument) &&
                (Hosting::IsScriptResult(argument) ||
                 Hosting::IsScriptInputStyle(argument.GetStyle()))) {
                doc += ": " + PythonTypeName(argument.GetScriptType(), false);
                break;
            }
        }
        if (!property->setter.function) {
            doc += " (read-only)";
        } else if (!property->getter.function) {
            doc += " (write-only)";
        }
        const std::string description = Common::ToUtf8(TextOrEmpty(described->GetDescription()));
        if (!description.empty()) {
            doc += "\n\n" + description;
        }
        const std::string note = DeprecationNote(*described);
        if (!note.empty()) {
            doc += "\n\n" + note;
        }
    }
    property->doc = NewText(doc);
    return made;
}

/// Puts a descriptor per script member of the class and its bases into the type's dictionary:
/// a property where the name has a getter or setter, else a method, else a static function.
void AddMembers(PyObject* type, const boost::shared_ptr<Class>& scriptClass) {
    FunctionMap functions;
    scriptClass->GetAllFunctions(functions);
    std::map<std::wstring, long> stylesByName;
    for (const auto& entry : functions) {
        stylesByName[entry.first.first] |= entry.first.second;
    }
    auto* owner = reinterpret_cast<PyTypeObject*>(type);
    for (const auto& entry : stylesByName) {
        const std::wstring& name = entry.first;
        const long styles = entry.second;
        // Python's own names (__init__ and the like) stay Python's.
        if (name.size() >= 2 && name[0] == L'_' && name[1] == L'_') {
            continue;
        }
        const std::string text = Common::ToUtf8(name);
        if ((styles & (PropertyGetStyle | PropertySetStyle)) != 0) {
            SetMember(type, text, NewProperty(owner, scriptClass, name));
        } else if ((styles & MethodStyles) != 0) {
            PyObject* method = NewFunction(methodType, owner, scriptClass, name, MethodStyles);
            if ((styles & StaticStyle) != 0) {
                reinterpret_cast<FunctionObject*>(method)->staticMember.Bind(scriptClass, name,
                                                                             StaticStyle);
            }
            SetMember(type, text, method);
        } else if ((styles & StaticStyle) != 0) {
            SetMember(type, text, NewFunction(staticType, owner, scriptClass, name, StaticStyle));
        }
    }
}

/// The type's doc: the constructor's signature, which inspect.signature reads for the type.
std::string TypeDoc(const boost::shared_ptr<Class>& scriptClass, const std::string& typeName) {
    const std::wstring name = LastNamePart(scriptClass->GetScriptName());
    const boost::shared_ptr<IFunction> constructor = Hosting::FindScriptFunction(
        scriptClass, name, ConstructorStyle, boost::shared_ptr<IObject>());
    std::string doc;
    if (constructor) {
        const std::string shortName = Common::ToUtf8(name);
        const Texts texts = DescribeFunction(*constructor, shortName, false, shortName);
        doc = typeName + texts.signature + "\n--\n\n" + texts.doc;
    }
    const std::string description = Common::ToUtf8(TextOrEmpty(scriptClass->GetDescription()));
    if (!description.empty()) {
        doc += (doc.empty() ? "" : "\n\n") + description;
    }
    return doc;
}

}  // namespace

bool InitClassTypes() {
    objectType = PyType_FromSpec(&objectLayout);
    methodType = objectType != nullptr ? PyType_FromSpec(&methodLayout) : nullptr;
    staticType = methodType != nullptr ? PyType_FromSpec(&staticLayout) : nullptr;
    propertyType = staticType != nullptr ? PyType_FromSpec(&propertyLayout) : nullptr;
    return propertyType != nullptr;
}

PyObject* GetClassType(const boost::shared_ptr<Class>& scriptClass) {
    const auto found = TypesByClass().find(scriptClass.get());
    if (found != TypesByClass().end()) {
        return found->second.type;
    }
    const boost::shared_ptr<Class> base = scriptClass->GetScriptBase();
    PyObject* baseType = base ? GetClassType(base) : objectType;
    // Python takes the type's __name__ from after the last dot: the class's script name.
    const std::string scriptName = Common::ToUtf8(TextOrEmpty(scriptClass->GetScriptName()));
    TypeTexts().push_back("velmorand." + scriptName);
    const char* typeName = TypeTexts().back().c_str();
    TypeTexts().push_back(TypeDoc(scriptClass, scriptName));
    const char* doc = TypeTexts().back().c_str();
    PyType_Slot slots[] = {{Py_tp_new, reinterpret_cast<void*>(&ClassNew)},
                           {Py_tp_doc, const_cast<char*>(doc)},
                           {0, nullptr}};
    PyType_Spec layout = {typeName, 0, 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, slots};
    PyObject* type = PyType_FromSpecWithBases(&layout, baseType);
    if (type == nullptr) {
        throw PythonErrorPending();
    }
    auto presented = std::make_unique<TypeClass>();
    presented->scriptClass = scriptClass;
    presented->constructor.Bind(scriptClass, LastNamePart(scriptClass->GetScriptName()),
                                ConstructorStyle);
    ClassesByType()[reinterpret_cast<PyTypeObject*>(type)] = std::move(presented);
    TypesByClass()[scriptClass.get()] = TypeEntry{scriptClass, type};
    AddMembers(type, scriptClass);
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
