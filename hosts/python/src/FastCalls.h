#pragma once

// Typed calls (VelmorandScript/TypedCall.h) from Python's vectorcall: the arguments are read from
// the PyObject* array straight into the C++ parameters and a plain result becomes its Python
// object, as the function's plan (Hosting::TypedCallPlan) says. A call whose values the plan's
// kinds do not take goes the general way (CallFunction) instead, which gives the same outcome.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

namespace VelmorandScript {
namespace Python {

/// Whether calls may take their function's typed entry (velmorand._set_typed_calls).
bool UsesTypedCalls();

/// Calls the plan's function on `object` (the value its wrapper presents; empty for none) with
/// `arguments`, framed by the plan's frame named `names`. True with `result` set (a new
/// reference) when it made the call; false, having called nothing, when the values are not what
/// the entry takes. Throws what the function throws.
bool CallTyped(const Hosting::TypedCallPlan& plan, const Hosting::CallNames& names,
               const Value& object, PyObject* const* arguments, Py_ssize_t count,
               PyObject*& result);

}  // namespace Python
}  // namespace VelmorandScript
