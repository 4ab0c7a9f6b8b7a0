#include "FastCalls.h"

#include <boost/make_shared.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <typeinfo>

namespace VelmorandScript {
namespace Python {

namespace {

using Hosting::TypedCallPlan;

bool typedCalls = true;
/// How many calls took the typed way, for the tests to see that it was taken.
unsigned long long typedCallCount = 0;

/// The 32-bit range in which the general way passes a Python int as a long.
bool FitsLong(long long value) {
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

/// Reads one argument as the plan's parameter `parameter` takes it, texts into `texts`. False
/// for a value the general way would convert or reject: it then makes the call.
bool ReadArgument(const TypedCallPlan& plan, std::size_t parameter, PyObject* value,
                  TypedArgument& argument, std::wstring* texts) {
    switch (plan.GetEntry().GetParameterKinds()[parameter]) {
        case TypedKind::Double:
            if (PyFloat_CheckExact(value)) {
                argument.asDouble = PyFloat_AS_DOUBLE(value);
                return true;
            }
            if (PyLong_CheckExact(value)) {
                // As the general way: a long within 32 bits, else the nearest double; ints
                // beyond a long long raise there.
                int overflow = 0;
                const long long integer = PyLong_AsLongLongAndOverflow(value, &overflow);
                if (overflow != 0 || (integer == -1 && PyErr_Occurred() != nullptr)) {
                    PyErr_Clear();
                    return false;
                }
                argument.asDouble = static_cast<double>(integer);
                return true;
            }
            return false;
        case TypedKind::Long: {
            if (!PyLong_CheckExact(value)) {
                return false;
            }
            int overflow = 0;
            const long long integer = PyLong_AsLongLongAndOverflow(value, &overflow);
            if (overflow != 0 || !FitsLong(integer)) {
                return false;
            }
            argument.asLong = static_cast<long>(integer);
            return true;
        }
        case TypedKind::Bool:
            if (!PyBool_Check(value)) {
                return false;
            }
            argument.asBool = value == Py_True;
            return true;
        case TypedKind::Text:
            if (texts == nullptr || !PyUnicode_CheckExact(value)) {
                return false;
            }
            texts[parameter] = ToWide(value);
            argument.text = &texts[parameter];
            return true;
        case TypedKind::Object: {
            const boost::shared_ptr<IObject>* object = ToObject(value);
            if (object == nullptr || !*object) {
                return false;
            }
            argument.object = plan.TakeObject(parameter, **object);
            return argument.object != nullptr;
        }
        default:
            return false;
    }
}

PyObject* MakeResult(const TypedCallPlan& plan, TypedResult& result) {
    switch (plan.GetResultPush()) {
        case TypedCallPlan::ResultPush::None:
            Py_RETURN_NONE;
        case TypedCallPlan::ResultPush::Double:
            return PyFloat_FromDouble(result.asDouble);
        case TypedCallPlan::ResultPush::Long:
            return PyLong_FromLong(result.asLong);
        case TypedCallPlan::ResultPush::Bool:
            return PyBool_FromLong(result.asBool ? 1 : 0);
        default:
            plan.BoxResult(result);
            return ToPython(std::move(result.boxed));
    }
}

bool CallWith(PythonContext& context, const TypedCallPlan& plan, const Hosting::CallNames& names,
              const Value& object, PyObject* const* arguments, Py_ssize_t count,
              std::wstring* texts, PyObject*& made) {
    const TypedEntry& entry = plan.GetEntry();
    if (static_cast<std::size_t>(count) != entry.GetParameterCount()) {
        return false;
    }
    boost::shared_ptr<IScriptCall>& frame = plan.Frame();
    if (!frame) {
        // The first call, or the last one lost the frame (a call from within, or native code
        // replaced it): every frame of the plan has the same names.
        const boost::shared_ptr<Hosting::CallFrame> named =
            boost::make_shared<Hosting::CallFrame>();
        named->Name(names);
        frame = named;
    }
    Hosting::CallFrameScope frameScope(context, frame);
    TypedArgument values[TypedEntry::MaximumParameters];
    for (std::size_t i = 0; i < entry.GetParameterCount(); ++i) {
        if (!ReadArgument(plan, i, arguments[i], values[i], texts)) {
            return false;
        }
    }
    TypedResult result;
    if (!entry.Call(object, values, result)) {
        return false;
    }
    made = MakeResult(plan, result);
    if (made == nullptr) {
        throw PythonErrorPending();
    }
    ++typedCallCount;
    return true;
}

}  // namespace

bool UsesTypedCalls() {
    return typedCalls;
}

bool CallTyped(const TypedCallPlan& plan, const Hosting::CallNames& names, const Value& object,
               PyObject* const* arguments, Py_ssize_t count, PyObject*& result) {
    PythonContext& context = *GetContext();
    ReleaseQueuedReferences();
    // A run that is ending makes no more native calls: the general way says so.
    if (context.IsTerminating()) {
        return false;
    }
    bool made = false;
    {
        PythonContext::CallScope scope(context);
        if (!plan.TakesTexts()) {
            made = CallWith(context, plan, names, object, arguments, count, nullptr, result);
        } else {
            std::wstring texts[TypedEntry::MaximumParameters];
            made = CallWith(context, plan, names, object, arguments, count, texts, result);
        }
    }
    // Native code that caught an abort or a cancel does not stop the run.
    if (made && context.IsTerminating()) {
        Py_DECREF(result);
        result = nullptr;
        context.ThrowTermination();
    }
    return made;
}

PyObject* SetTypedCallsFunction(PyObject*, PyObject* flag) {
    const int on = PyObject_IsTrue(flag);
    if (on < 0) {
        return nullptr;
    }
    typedCalls = on != 0;
    return PyLong_FromUnsignedLongLong(typedCallCount);
}

}  // namespace Python
}  // namespace VelmorandScript
