"""What a call can do at run time: errors, warnings, aborts and cancels, callbacks into Python,
arrays and hashes in both directions, threads. Mirrors tests/lua (callbacks, cancel, context,
arrays, tables, bad_calls, deprecations, error_values)."""

import _thread
import collections.abc
import gc
import functools
import os
import signal
import subprocess
import sys
import threading
import time
import warnings
import weakref

import pytest

import velmorand
from velmorand import _velmorand as native

Canvas = velmorand.get_class("Shapes::Canvas")
Circle = velmorand.get_class("Shapes::Circle")
Rectangle = velmorand.get_class("Shapes::Rectangle")
Script = velmorand.get_class("Shapes::Script")


def board(count=3):
    canvas = Canvas("board")
    canvas.AddAll([Circle(i + 1, f"c{i + 1}") for i in range(count)])
    return canvas


@pytest.mark.parametrize("call, text", [
    (lambda: Script.Echo(object()), "A Python object has no native form (argument #1, calling "
                                    "Shapes::Script::Echo)."),
    (lambda: Script.Int([1]), "No valid conversion from list to int (argument #1, calling "),
    (lambda: Script.Int(len), "No valid conversion from builtin_function_or_method to int"),
    (lambda: Script.Keys((1,)), "No valid conversion from tuple to table (argument #1"),
    (lambda: Canvas().Add(None), "Expected Shapes::Shape, got None (argument #1, calling "),
    (lambda: Script.Int("a"), "Failed to convert the string value a to int"),
    (lambda: Canvas().AddAll([1, 2]), "Bad cast from type long to type Shapes::Shape."),
    (lambda: Script.Append((1,), 2), "A Python tuple cannot be changed; pass a list."),
    (lambda: board().ForEach(42), "The callback is not a function the script can call."),
    (lambda: Script.Call("no_such_function", 1), "No script function named no_such_function."),
    (lambda: board().ForEach(lambda s, i: object()), "A Python object has no native form."),
])
def test_errors_carry_the_library_texts_and_argument_positions(call, text):
    with pytest.raises(velmorand.ScriptError) as raised:
        call()
    assert str(raised.value).startswith(text)
    assert issubclass(velmorand.ScriptError, Exception)


WARNINGS = [
    ("precision", lambda: Circle(1).Scale(2.5),
     "calling Shapes::Circle::Scale: Loss of precision in conversion from double to int "
     "(original value 2.5 converted to 2)."),
    ("byte", lambda: Script.Byte(300), "calling Shapes::Script::Byte: Loss of precision"),
    ("renamed", lambda: Circle(1, "coin").Description(),
     "calling Shapes::Circle::Description: The API Shapes::Circle::Description has been renamed "
     "to Shapes::Circle::Describe"),
    ("warn", lambda: Script.Warn("careful"), "calling Shapes::Script::Warn: careful"),
    ("in a callback", lambda: board(1).ForEach(lambda shape, i: shape.Scale(1.5)),
     "calling Shapes::Circle::Scale: Loss of precision"),
]


@pytest.mark.parametrize("kind, call, text", WARNINGS, ids=[row[0] for row in WARNINGS])
def test_warnings_reach_pythons_warnings_and_may_become_errors(kind, call, text):
    assert issubclass(velmorand.VelmorandWarning, UserWarning)
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        call()  # the call goes on after the warning
    assert [str(w.message)[:len(text)] for w in seen] == [text]
    assert seen[0].category is velmorand.VelmorandWarning
    assert seen[0].filename == __file__  # where Python made the native call
    with warnings.catch_warnings():
        warnings.simplefilter("error", velmorand.VelmorandWarning)
        with pytest.raises(velmorand.VelmorandWarning, match="^" + text[:40]):
            call()
    assert Script.Echo(1) == 1  # no run is left ending


def test_a_warning_turned_into_an_error_stops_the_call_and_the_native_loop(shapes_module):
    canvas, visits = board(5), []
    unit = Circle(1)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(velmorand.VelmorandWarning):
            unit.Scale(2.5)
        with pytest.raises(velmorand.VelmorandWarning):
            canvas.ForEach(lambda shape, i: visits.append(i) or shape.Scale(0.5 + i))
    assert unit.Radius == 1.0 and visits == [1]
    program = "import velmorand, sys\nvelmorand.load_module(sys.argv[1])\n" \
              "velmorand.get_class('Shapes::Script').Int(2.5)"
    result = subprocess.run([sys.executable, "-W", "error", "-c", program, shapes_module],
                            capture_output=True, text=True, timeout=60)
    assert "VelmorandWarning: calling Shapes::Script::Int" in result.stderr


class Collector:
    def __init__(self, names):
        self.names = names

    def __call__(self, shape, index):
        self.names.append(shape.Name)


@pytest.mark.parametrize("make", [
    lambda names: lambda shape, index: names.append(shape.Name),
    lambda names: functools.partial(lambda out, shape, index: out.append(shape.Name), names),
    Collector, lambda names: Collector(names).__call__,
], ids=["lambda", "partial", "__call__", "bound method"])
def test_callbacks_take_any_callable(make):
    names = []
    assert board().ForEach(make(names)) == 3 and names == ["c1", "c2", "c3"]


def test_callback_results_and_nested_calls():
    canvas = board(4)
    assert [s.Name for s in canvas.Select(lambda shape, index: shape.Area > 5)] == ["c2", "c3",
                                                                                    "c4"]
    # A tuple gives several results, the first of which the predicate reads; None gives none.
    assert len(canvas.Select(lambda shape, index: (index % 2 == 0, True))) == 2
    assert len(canvas.Select(lambda shape, index: None)) == 0
    total = []
    canvas.ForEach(lambda shape, index: total.append(Script.Echo(shape).Area))
    assert sum(total) == pytest.approx(canvas.TotalArea)
    grower = board(2)
    assert grower.ForEach(lambda shape, index: grower.AddAll([shape, shape])) == 2
    assert Script.Call("twice", 21) == 42 and Script.Call("len", "four") == 4
    assert Script.Echo(twice) is twice  # a callable comes back as itself


def twice(value):
    """Script.Call finds a function among the caller's globals; a tuple gives several results."""
    return value * 2, "ignored"


class Stop(Exception):
    pass


@pytest.mark.parametrize("where", ["first", "third", "nested", "after a native error",
                                   "in Select", "through Call"])
def test_an_exception_raised_in_a_callback_reaches_the_caller_unchanged(where):
    stop = Stop(where)

    def callback(shape, index):
        if where == "nested" and shape is not None:
            board(2).ForEach(lambda inner, i: callback(None, 2 * i - 1))
        elif where == "after a native error":
            try:
                Script.Fail("swallowed")
            except velmorand.ScriptError:
                raise stop
        if where == "first" or index == 3:
            raise stop
        return True

    globals()["raising"] = lambda value: callback(None, 3)
    with pytest.raises(Stop) as raised:
        if where == "through Call":
            Script.Call("raising", 1)
        else:
            getattr(board(5), "Select" if where == "in Select" else "ForEach")(callback)
    assert raised.value is stop and "callback" in [frame.name for frame in raised.traceback]
    assert Script.Echo(2) == 2


@pytest.mark.parametrize("how", ["Cancel()", "Cancel() swallowed", "raise KeyboardInterrupt",
                                 "SIGINT", "interrupt_main", "ScriptAbort", "aborting hook",
                                 "sys.exit"])
@pytest.mark.parametrize("loop", ["ForEach", "Select"])
def test_cancel_and_abort_end_a_long_native_loop(how, loop, monkeypatch):
    canvas, visits, mine = board(200), [], KeyboardInterrupt("mine")

    def aborting(message, *rest):  # a warning hook may abort the run
        raise velmorand.ScriptAbort(str(message))
    monkeypatch.setattr(warnings, "showwarning", aborting)

    def callback(shape, index):
        visits.append(index)
        if index < 7:
            return True
        try:
            if how.startswith("Cancel()"):
                Script.Cancel()
            elif how == "raise KeyboardInterrupt":
                raise mine
            elif how == "SIGINT":
                os.kill(os.getpid(), signal.SIGINT)
            elif how == "interrupt_main":
                _thread.interrupt_main()
            elif how == "ScriptAbort":
                raise velmorand.ScriptAbort("stop here")
            elif how == "sys.exit":
                sys.exit("stop here")
            else:
                Script.Warn("stop here")
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:  # a pending signal raises in here
                time.sleep(0.001)
        except Exception:
            pass  # neither a cancel nor an abort is an Exception
        except BaseException:
            if how not in ("Cancel() swallowed", "aborting hook"):
                raise  # swallowed, a cancel or abort of a native call ends the run all the same
        return True

    aborts = how in ("ScriptAbort", "aborting hook", "sys.exit")
    expected = {"sys.exit": SystemExit}.get(how, velmorand.ScriptAbort if aborts else
                                            KeyboardInterrupt)
    with warnings.catch_warnings(), pytest.raises(expected) as raised:
        warnings.simplefilter("always")
        getattr(canvas, loop)(callback)
    assert visits == list(range(1, 8)) and not issubclass(velmorand.ScriptAbort, Exception)
    assert raised.value is mine or how != "raise KeyboardInterrupt"
    assert "stop here" in str(raised.value) or not aborts
    assert Script.Echo(3) == 3  # the next run starts afresh
    with pytest.raises(KeyboardInterrupt, match="^The script was canceled.$"):
        Script.Cancel()  # ends as it returns


def test_native_arrays_are_sequences():
    numbers = Script.Range(4)
    assert type(numbers) is velmorand.Array and repr(numbers) == "velmorand.Array([1, 2, 3, 4])"
    assert (len(numbers), numbers[0], numbers[-1], numbers[1:3], list(numbers), 3 in numbers) == (
        4, 1, 4, [2, 3], [1, 2, 3, 4], True)
    assert numbers == [1, 2, 3, 4] and numbers == (1, 2, 3, 4) and numbers == Script.Range(4)
    assert numbers != [1, 2] and numbers != "1234"
    numbers.append(5)
    numbers.insert(0, 0)
    del numbers[1]
    numbers[0], numbers[-1] = 10, 6.0
    assert numbers == [10, 2, 3, 4, 6] and (numbers.index(4), numbers.count(3)) == (3, 1)
    assert isinstance(numbers, collections.abc.Sequence)
    assert isinstance(native._hash_of({}), collections.abc.Mapping)
    for failing, error in [(lambda: numbers[5], IndexError), (lambda: hash(numbers), TypeError),
                           (lambda: numbers.append("seven"), velmorand.ScriptError)]:
        with pytest.raises(error):
            failing()
    assert board(2).Names() == ["c1", "c2"] and board(2).Shapes()[1].Kind == "circle"
    classes = velmorand.classes()
    assert "Shapes::Circle" in [c.name for c in classes] and classes[0].functions()[0].name
    circle = velmorand.find_class("Shapes::Circle")
    assert circle.name == "Shapes::Circle" and velmorand.find_class("Shapes::Hexagon") is None
    assert velmorand.style_name(1) == "static"


def test_native_hashes_are_mappings():
    entries = {"b": 1, "a": [2], 3: "unseen", "": None}
    table = native._hash_of(entries)  # as a native hash reaches Python
    assert repr(table) == "velmorand.Hash({'b': 1, 'a': [2], '': None})"
    assert (len(table), table["b"], "a" in table, 3 in table, list(table)) == (3, 1, True, False,
                                                                              ["b", "a", ""])
    assert (table.keys(), table.values(), table.get("zz", 7)) == (["b", "a", ""], [1, [2], None], 7)
    assert table.items()[0] == ("b", 1) and table == {"b": 1, "a": [2], "": None} != {}
    table["c"] = 3
    del table["b"]
    assert entries == {"a": [2], 3: "unseen", "": None, "c": 3}
    for failing, error in [(lambda: table["zz"], KeyError), (lambda: hash(table), TypeError)]:
        with pytest.raises(error):
            failing()
    assert Script.Keys(table) == ["", "a", "c"] and Script.Echo(table) is entries


def test_lists_tuples_and_dicts_are_native_arrays_and_hashes_in_place():
    assert Script.Sum([1, 2.5, 3]) == 6.5 and Script.Sum((1, 2)) == 3.0
    canvas, listing = Canvas(), ["x"]
    canvas.AddAll([Circle(1, "a"), Rectangle(1, 2, "b")])
    Script.Append(listing, canvas)
    assert listing[1] is not None and listing[1].Title == "canvas"
    assert Script.Echo(listing) is listing  # comes back as itself
    assert (Script.TypeOf(listing), Script.TypeOf({})) == ("VelmorandScript::IArray",
                                                           "VelmorandScript::IHash")
    assert Script.Keys({"zeta": 1, "alpha": 2, 1: "skipped", "": False}) == ["", "alpha", "zeta"]
    canvas.Restyle({"color": "blue", "prefix": "new "})
    assert [(s.Color, s.Name) for s in canvas.Shapes()] == [("blue", "new a"), ("blue", "new b")]
    Script.Set("shared_shape", canvas)  # script variables are the caller's globals
    assert globals()["shared_shape"] is not None and Script.Get("shared_shape").Title == "canvas"
    Script.Set("shared_shape", None)
    assert "shared_shape" not in globals() and Script.Get("shared_shape") is None


def test_calls_leave_reference_counts_and_release_what_native_code_kept():
    canvas, items = board(2), [1, 2]

    def callback(shape, index):
        return True
    before = (sys.getrefcount(callback), sys.getrefcount(items))
    for _ in range(100):
        canvas.Select(callback)
        Script.Echo(callback)
        Script.Sum(items)
        Script.Echo(items)
        with pytest.raises(Stop):
            canvas.ForEach(lambda s, i: (_ for _ in ()).throw(Stop()))
    assert (sys.getrefcount(callback), sys.getrefcount(items)) == before

    # velmorand.Array takes part in Python's collector.
    holder = Collector(None)
    holder.names = [holder, Script.Range(3)]
    gone = weakref.ref(holder)
    del holder
    gc.collect()
    assert gone() is None


def test_native_threads_release_values_and_cancel_without_the_gil():
    kept = object()
    before = sys.getrefcount(kept)
    native._release_elsewhere(kept)  # no deadlock, though this thread holds the GIL meanwhile
    Script.Echo(1)  # released at the latest by the next native call
    assert sys.getrefcount(kept) == before
    # Native code that polls IsCancelRequested sees Ctrl-C and a cancel from another thread.
    for how, text in [("signal", ""), ("cancel", "The script was canceled.")]:
        with pytest.raises(KeyboardInterrupt, match=f"^{text}$"):
            native._wait_for_cancel(how)


def test_threads_run_calls_of_their_own():
    failures = []

    def work(number):
        try:
            canvas = board(20)
            for _ in range(20):
                # Callbacks let other threads run between a call's frames.
                assert len(canvas.Select(lambda shape, index: Script.Echo(index) % 2 == 1)) == 10
            with pytest.raises(KeyboardInterrupt):
                canvas.ForEach(lambda shape, index: Script.Cancel())
        except BaseException as error:  # pragma: no cover - reported below
            failures.append(error)
    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    [thread.start() for thread in threads]
    [thread.join() for thread in threads]
    assert failures == []
