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

/// The Python exception a PythonErrorPending carries through native code.
struct PendingException {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;

    PendingException() { PyErr_Fetch(&type, &value, &traceback); }
    ~PendingException() {
        // Native code that swallowed the error may let it go on any thread.
        ReleaseReference(type);
        ReleaseReference(value);
        ReleaseReference(traceback);
    }
    PendingException(const PendingException&) = delete;
    PendingException& operator=(const PendingException&) = delete;
};

PythonErrorPending::PythonErrorPending()
    : ScriptException(L"A Python error is pending."), m_exception(new PendingException()) {}

bool PythonErrorPending::Restore() const {
    if (!m_exception || m_exception->type == nullptr) {
        return false;
    }
    PyErr_Restore(m_exception->type, m_exception->value, m_exception->traceback);
    m_exception->type = m_exception->value = m_exception->traceback = nullptr;
    return true;
}

bool PythonErrorPending::Matches(PyObject* type) const {
    return m_exception && m_exception->type != nullptr &&
           PyErr_GivenExceptionMatches(m_exception->type, type) != 0;
}

PyObject* RaiseCaughtException() {
    PythonContext* context = GetContext().get();
    try {
        throw;
    } catch (const PythonErrorPending& error) {
        if (!error.Restore() && PyErr_Occurred() == nullptr) {
            PyErr_SetString(GetScriptErrorType(), "A Python error was lost in native code.");
        }
    } catch (const ScriptCancelException&) {
        if (context != nullptr) {
            context->Terminate(Termination::Cancel, false, std::wstring());
        } else {
            PyErr_SetString(PyExc_KeyboardInterrupt, ScriptCancelException().what());
        }
    } catch (const ScriptAbortException& error) {
        if (context != nullptr) {
            context->Terminate(Termination::Abort, false, error.GetExceptionMessage());
        } else {
            PyErr_SetString(GetAbortType(), error.what());
        }
    } catch (const Common::Exception& error) {
        PyErr_SetString(GetScriptErrorType(), Common::ToUtf8(error.GetExceptionMessage()).c_str());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_SetString(GetScriptErrorType(), error.what());
    } catch (...) {
        PyErr_SetString(GetScriptErrorType(), "An unknown native exception occurred.");
    }
    // An abort or a cancel ends the run whatever else went wrong on the way out.
    if (context != nullptr && context->IsTerminating()) {
        PyErr_Clear();
        context->RaiseTermination();
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

}  // namespace

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
    Value collection = ToNativeCollection(object);
    if (!collection.IsEmpty()) {
        return collection;
    }
    if (PyCallable_Check(object)) {
        return Value(boost::make_shared<PythonReference>(object));
    }
    throw ScriptException(L"A Python " + Common::ToWString(Py_TYPE(object)->tp_name) +
                          L" has no native form.");
}

namespace {

/// The positional arguments of a Python call, as the library's argument building reads them.
class PythonArguments : public Hosting::ArgumentSource {
public:
    PythonArguments(PyObject* const* arguments, Py_ssize_t count, const IScriptCall& frame)
        : m_arguments(arguments), m_count(static_cast<int>(count)), m_frame(frame) {}

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
        try {
            return ToNative(object);
        } catch (const PythonErrorPending&) {
            throw;
        } catch (const ScriptException& error) {
            // The library numbers the errors of conversions, not those of reading the value.
            std::wstring text = error.GetExceptionMessage();
            if (!text.empty() && text.back() == L'.') {
                text.pop_back();  // the decorated text ends with its own
            }
            GenerateArgumentError(text, &m_frame, static_cast<unsigned int>(index),
                                  TextOrEmpty(argument.GetName()));
        }
    }

    const char* GetScriptWord(int index) const override {
        // Lists, tuples, dicts and callables reach native code as the host's own types.
        PyObject* object = m_arguments[index];
        if (PyList_Check(object) || PyTuple_Check(object) || PyDict_Check(object) ||
            (ToObject(object) == nullptr && PyCallable_Check(object))) {
            return Py_TYPE(object)->tp_name;
        }
        return nullptr;
    }

    boost::shared_ptr<IScriptContext> GetContext() override { return Python::GetContext(); }

    bool IsHostError(const ScriptException& error) const override {
        return dynamic_cast<const PythonErrorPending*>(&error) != nullptr;
    }

    const wchar_t* GetNothingWord() const override { return L"None"; }

private:
    PyObject* const* m_arguments;
    int m_count;
    const IScriptCall& m_frame;
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
    return WrappedToPython(value);
}

PyObject* WrappedToPython(const Value& value) {
    if (value.IsEmpty()) {
        Py_RETURN_NONE;
    }
    const DataType& type = value.GetType();
    if (type == DataType(typeid(IObject))) {
        IObject* object = CastTo<IObject>(&value, false);
        if (object == nullptr) {
            Py_RETURN_NONE;
        }
        if (PyObject* collection = CollectionToPython(*object)) {
            return collection;
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
    if (type == DataType(typeid(PythonReference))) {
        PyObject* object = CastTo<PythonReference>(&value, true)->Get();
        Py_INCREF(object);
        return object;
    }
    throw ScriptException(L"A value of type " + value.GetTypeName() +
                          L" has no Python form; its wrapper routine must produce a bool, long, "
                          L"double, String or object value.");
}

namespace {

/// CallFunction within the run's call count.
PyObject* CallCounted(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
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
    PythonArguments source(arguments, count, *frame);
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

}  // namespace

PyObject* CallFunction(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
                       long styleMask, const boost::shared_ptr<IObject>& object,
                       const boost::shared_ptr<IFunction>& function, PyObject* const* arguments,
                       Py_ssize_t count) {
    PythonContext& context = *GetContext();
    ReleaseQueuedReferences();
    // A run that is ending makes no more native calls.
    if (context.IsTerminating()) {
        context.ThrowTermination();
    }
    PyObject* result = nullptr;
    {
        PythonContext::CallScope scope(context);
        result = CallCounted(scriptClass, name, styleMask, object, function, arguments, count);
    }
    // Native code that caught an abort or a cancel does not stop the run.
    if (context.IsTerminating()) {
        Py_DECREF(result);
        context.ThrowTermination();
    }
    return result;
}

}  // namespace Python
}  // namespace VelmorandScript
