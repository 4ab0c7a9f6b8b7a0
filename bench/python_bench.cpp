// Calls from a Python loop through the velmorand extension, against the same class bound with
// pybind11 and against a hand-written METH_FASTCALL method that checks its arguments: c.Add(i, 2)
// on a calculator, and a property read c.Radius. The interpreter is embedded and started once;
// each loop is compiled once into a function that every iteration calls, making a million calls.

#include "AllocationCounter.h"

#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>

#include <pybind11/embed.h>

#include <string>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;

constexpr int kCallsPerRun = 1000000;

struct Calculator {
    double Add(double a, double b) const { return a + b; }
};

struct Circle {
    explicit Circle(double r) : radius(r) {}
    double GetRadius() const { return radius; }
    double radius;
};

void RegisterBuilderClasses() {
    ClassBuilder<Calculator>(L"Bench::TypedCalculator", L"Bench")
        .Constructor<>()
        .Method(L"Add", &Calculator::Add, {L"a", L"b"})
        .Register();
    ClassBuilder<Circle>(L"Bench::Circle", L"Bench")
        .Constructor<double>({L"radius"})
        .ReadOnly(L"Radius", &Circle::GetRadius)
        .Register();
}

// --- The hand-written type: METH_FASTCALL, arguments checked -----------------------------------

struct FastCalculator {
    PyObject_HEAD Calculator calculator;
};

PyObject* FastAdd(PyObject* self, PyObject* const* arguments, Py_ssize_t count) {
    if (count != 2) {
        PyErr_Format(PyExc_TypeError, "Add takes 2 arguments (%zd given)", count);
        return nullptr;
    }
    const double a = PyFloat_AsDouble(arguments[0]);
    if (a == -1.0 && PyErr_Occurred() != nullptr) {
        return nullptr;
    }
    const double b = PyFloat_AsDouble(arguments[1]);
    if (b == -1.0 && PyErr_Occurred() != nullptr) {
        return nullptr;
    }
    return PyFloat_FromDouble(reinterpret_cast<FastCalculator*>(self)->calculator.Add(a, b));
}

PyMethodDef fastMethods[] = {
    {"Add", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&FastAdd)), METH_FASTCALL,
     nullptr},
    {nullptr, nullptr, 0, nullptr}};
PyType_Slot fastSlots[] = {{Py_tp_methods, fastMethods},
                           {Py_tp_new, reinterpret_cast<void*>(&PyType_GenericNew)},
                           {0, nullptr}};
PyType_Spec fastLayout = {"bench_fast.Calculator", sizeof(FastCalculator), 0, Py_TPFLAGS_DEFAULT,
                          fastSlots};

}  // namespace

// --- The pybind11 module -------------------------------------------------------------------------

PYBIND11_EMBEDDED_MODULE(bench_pybind, module) {
    pybind11::class_<Calculator>(module, "Calculator")
        .def(pybind11::init<>())
        .def("Add", &Calculator::Add);
    pybind11::class_<Circle>(module, "Circle")
        .def(pybind11::init<double>())
        .def_property_readonly("Radius", &Circle::GetRadius);
}

namespace {

/// The interpreter with the three sides ready, started once per process; its globals hold the
/// objects and the loops. Null with an error printed when a side could not be set up.
PyObject* Globals() {
    static PyObject* globals = [] {
        RegisterBuilderClasses();
        Py_InitializeEx(0);
        PyObject* main = PyImport_AddModule("__main__");
        PyObject* dictionary = PyModule_GetDict(main);
        PyObject* fastType = PyType_FromSpec(&fastLayout);
        if (fastType == nullptr ||
            PyDict_SetItemString(dictionary, "FastCalculator", fastType) != 0) {
            PyErr_Print();
            return static_cast<PyObject*>(nullptr);
        }
        const std::string setup =
            "import sys\n"
            "sys.path.insert(0, '" VELMORAND_PYTHON_DIR
            "')\n"
            "import velmorand, bench_pybind\n"
            "ours = velmorand.get_class('Bench::TypedCalculator')()\n"
            "ours_circle = velmorand.get_class('Bench::Circle')(1.5)\n"
            "pybind = bench_pybind.Calculator()\n"
            "pybind_circle = bench_pybind.Circle(1.5)\n"
            "fast = FastCalculator()\n"
            "def add_loop(c):\n"
            "    for i in range(" +
            std::to_string(kCallsPerRun) +
            "):\n"
            "        c.Add(i, 2)\n"
            "def read_loop(c):\n"
            "    for i in range(" +
            std::to_string(kCallsPerRun) +
            "):\n"
            "        c.Radius\n"
            "assert ours.Add(1, 2) == pybind.Add(1, 2) == fast.Add(1, 2) == 3.0\n"
            "assert ours_circle.Radius == pybind_circle.Radius == 1.5\n";
        PyObject* result = PyRun_String(setup.c_str(), Py_file_input, dictionary, dictionary);
        if (result == nullptr) {
            PyErr_Print();
            return static_cast<PyObject*>(nullptr);
        }
        Py_DECREF(result);
        return dictionary;
    }();
    return globals;
}

/// Calls the loop `loop` on the object `object` of the globals once per iteration.
void RunLoop(benchmark::State& state, const char* loop, const char* object) {
    PyObject* globals = Globals();
    if (globals == nullptr) {
        state.SkipWithError("the interpreter could not be set up (see the error printed)");
        return;
    }
    PyObject* function = PyDict_GetItemString(globals, loop);
    PyObject* target = PyDict_GetItemString(globals, object);
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        PyObject* result = PyObject_CallOneArg(function, target);
        if (result == nullptr) {
            PyErr_Print();
            state.SkipWithError("the loop raised");
            break;
        }
        Py_DECREF(result);
    }
    state.counters["calls"] = kCallsPerRun;
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(AllocationCount() - allocations) / kCallsPerRun,
                           benchmark::Counter::kAvgIterations);
}

void BM_PythonOursAdd(benchmark::State& state) {
    RunLoop(state, "add_loop", "ours");
}
BENCHMARK(BM_PythonOursAdd);

void BM_PythonPybindAdd(benchmark::State& state) {
    RunLoop(state, "add_loop", "pybind");
}
BENCHMARK(BM_PythonPybindAdd);

void BM_PythonFastcallAdd(benchmark::State& state) {
    RunLoop(state, "add_loop", "fast");
}
BENCHMARK(BM_PythonFastcallAdd);

void BM_PythonOursRead(benchmark::State& state) {
    RunLoop(state, "read_loop", "ours_circle");
}
BENCHMARK(BM_PythonOursRead);

void BM_PythonPybindRead(benchmark::State& state) {
    RunLoop(state, "read_loop", "pybind_circle");
}
BENCHMARK(BM_PythonPybindRead);

}  // namespace

BENCHMARK_MAIN();
