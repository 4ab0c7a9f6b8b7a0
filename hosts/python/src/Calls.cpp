// One call from Python into native code: the arguments read from Python objects, the call
// frame, deprecations, the invocation and the results handed back as Python objects.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <cstdint>
#include <limits>
#include <new>
#include <typeinfo>
#include <vector>

namespace VelmorandScript {
namespace Python {

PythonErrorPending::PythonErrorPending() : ScriptException(L"A Python error is pending.") {}

PyObject* RaiseCaughtException() {
    try {
        throw;
    } catch (const PythonErrorPending&) {
        // The Python exception is set already.
    } catch (const Common::Exception& error) {
        PyErr_SetString(GetScriptErrorType(), Common::ToUtf8(error.GetExceptionMessage()).c_str());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_SetString(GetScriptErrorType(), error.what());
    } catch (...) {
        PyErr_SetString(GetScriptErrorType(), "An unknown native exception occurred.");
    }
    return nullptr;
}

std::wstring ToWide(PyObject* text) {
    Py_ssize_t size = 0;
    wchar_t* characters = PyUnicode_AsWideCharString(text, &size);
    if (characters == nullptr) {
        throw PythonErrorPending();
    }
    std::wstring result(characters, static_cast<std::size_t>(size));
    PyMem_Free(characters);
    return result;
}

namespace {

/// Owns a new reference.
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

PyObject* Checked(PyObject* object) {
    if (object == nullptr) {
        throw PythonErrorPending();
    }
    return object;
}

/// A Python int as native code takes it: long within the 32-bit range that scripts of every
/// host share, else the nearest double.
Value IntegerValue(PyObject* number) {
    int overflow = 0;
    const long long integer = PyLong_AsLongLongAndOverflow(number, &overflow);
    if (integer == -1 && PyErr_Occurred() != nullptr) {
        throw PythonErrorPending();
    }
    if (overflow == 0 && integer >= std::numeric_limits<std::int32_t>::min() &&
        integer <= std::numeric_limits<std::int32_t>::max()) {
        const long value = static_cast<long>(integer);
        return Value(&value);
    }
    const double value = PyLong_AsDouble(number);
    if (value == -1.0 && PyErr_Occurred() != nullptr) {
        throw PythonErrorPending();
    }
    return Value(&value);
}

Value ToNative(PyObject* object) {
    if (object == Py_None) {
        return Value();
    }
    // bool first: Python's bool is an int.
    if (PyBool_Check(object)) {
        const bool value = object == Py_True;
        return Value(&value);
    }
    if (PyLong_Check(object)) {
        return IntegerValue(object);
    }
    if (PyFloat_Check(object)) {
        const double value = PyFloat_AS_DOUBLE(object);
        return Value(&value);
    }
    if (PyUnicode_Check(object)) {
        const std::wstring value = ToWide(object);
        return Value(&value);
    }
    if (const boost::shared_ptr<IObject>* wrapper = ToObject(object)) {
        return *wrapper ? (*wrapper)->GetScriptedObject() : Value();
    }
    throw ScriptException(L"A Python " + Common::ToWString(Py_TYPE(object)->tp_name) +
                          L" has no native form.");
}

/// The positional arguments of a Python call, as the library's argument building reads them.
class PythonArguments : public Hosting::ArgumentSource {
public:
    PythonArguments(PyObject* const* arguments, Py_ssize_t count)
        : m_arguments(arguments), m_count(static_cast<int>(count)) {}

    int GetCount() const override { return m_count; }
    bool IsNothing(int index) const override { return m_arguments[index] == Py_None; }

    Value Read(int index, const Argument& argument) override {
        PyObject* object = m_arguments[index];
        // A parameter that takes the wrapper itself gets it rather than what it presents.
        if (argument.GetType() == DataType(typeid(IObject))) {
            if (const boost::shared_ptr<IObject>* wrapper = ToObject(object)) {
                return Value(*wrapper);
            }
        }
        return ToNative(object);
    }

    const char* GetScriptWord(int) const override { return nullptr; }

    boost::shared_ptr<IScriptContext> GetContext() override { return Python::GetContext(); }

    bool IsHostError(const ScriptException& error) const override {
        return dynamic_cast<const PythonErrorPending*>(&error) != nullptr;
    }

private:
    PyObject* const* m_arguments;
    int m_count;
};

}  // namespace

PyObject* ToPython(Value value) {
    if (value.IsEmpty()) {
        Py_RETURN_NONE;
    }
    if (!ConversionRegistry::GetInstance().WrapValue(GetContext(), value)) {
        // WrapValue leaves the value as it was when no wrapper routine applies.
        throw ScriptException(L"A value of type " + value.GetTypeName() +
                              L" cannot be handed to Python: no wrapper routine is registered "
                              L"for it.");
    }
    if (value.IsEmpty()) {
        Py_RETURN_NONE;
    }
    const DataType& type = value.GetType();
    if (type == DataType(typeid(IObject))) {
        IObject* object = CastTo<IObject>(&value, false);
        if (object == nullptr) {
            Py_RETURN_NONE;
        }
        return NewInstance(object->shared_from_this());
    }
    if (type == DataType(typeid(bool))) {
        return PyBool_FromLong(*CastTo<bool>(&value, true) ? 1 : 0);
    }
    if (type == DataType(typeid(long))) {
        return Checked(PyLong_FromLong(*CastTo<long>(&value, true)));
    }
    if (type == DataType(typeid(double))) {
        return Checked(PyFloat_FromDouble(*CastTo<double>(&value, true)));
    }
    if (type == DataType(typeid(std::wstring))) {
        const std::wstring& text = *CastTo<std::wstring>(&value, true);
        return Checked(PyUnicode_FromWideChar(text.data(), static_cast<Py_ssize_t>(text.size())));
    }
    throw ScriptException(L"A value of type " + value.GetTypeName() +
                          L" has no Python form; its wrapper routine must produce a bool, long, "
                          L"double, String or object value.");
}

PyObject* CallFunction(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
                       long styleMask, const boost::shared_ptr<IObject>& object,
                       const boost::shared_ptr<IFunction>& function, PyObject* const* arguments,
                       Py_ssize_t count) {
    if (!function) {
        Hosting::RaiseNoFunction(scriptClass, name, styleMask);
    }
    const boost::shared_ptr<PythonContext>& context = GetContext();
    const boost::shared_ptr<Hosting::CallFrame> frame = boost::make_shared<Hosting::CallFrame>();
    frame->Name(scriptClass->GetScriptName(), function->GetName());
    boost::shared_ptr<IScriptCall> pushed = frame;
    Hosting::CallFrameScope frameScope(*context, pushed);

    boost::shared_ptr<IFunction> called = function;
    if ((function->GetStyle() & DeprecatedStyle) != 0) {
        Hosting::ResolvedCall resolved =
            Hosting::ResolveDeprecation(context, scriptClass, name, styleMask, object, function);
        if (!resolved.function) {
            Py_RETURN_NONE;
        }
        if (resolved.renamedTo != nullptr) {
            frame->Redirect(resolved.renamedTo);
        }
        called = std::move(resolved.function);
    }
    PythonArguments source(arguments, count);
    std::vector<Value> values;
    Hosting::BuildArguments(*called, source, *frame, values);
    called->Invoke(object ? object->GetScriptedObject() : Value(), values);

    std::vector<PyRef> results;
    Hosting::DeliverResults(*called, values, [&results](Value& value) {
        results.emplace_back(ToPython(std::move(value)));
    });
    if (results.empty()) {
        Py_RETURN_NONE;
    }
    if (results.size() == 1) {
        return results[0].Release();
    }
    PyRef tuple(Checked(PyTuple_New(static_cast<Py_ssize_t>(results.size()))));
    for (std::size_t i = 0; i < results.size(); ++i) {
        PyTuple_SET_ITEM(tuple.Get(), static_cast<Py_ssize_t>(i), results[i].Release());
    }
    return tuple.Release();
}

}  // namespace Python
}  // namespace VelmorandScript
