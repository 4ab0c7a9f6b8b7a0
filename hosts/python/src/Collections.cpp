// Collections between Python and native code. Lists and tuples reach native code as arrays and
// dicts as hashes over the Python objects themselves, so that native changes show in Python
// (a tuple cannot be changed); they come back as themselves. Other native arrays and hashes
// reach Python as velmorand.Array, a sequence, and velmorand.Hash, a mapping, over the native
// collection. Array indexes are 0-based on both sides; hash keys are a dict's str keys (other
// keys are not seen).

#include "PythonHost.h"

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <new>
#include <vector>

namespace VelmorandScript {
namespace Python {

namespace {

/// Native code may hold a collection on any thread, but only the thread with the GIL may touch
/// its Python object. False once the interpreter has gone: the operation does nothing.
bool CanTouch(PyObject* object) {
    if (!Py_IsInitialized()) {
        return false;
    }
    if (!PyGILState_Check()) {
        throw ScriptException(L"A Python " + Common::ToWString(Py_TYPE(object)->tp_name) +
                              L" can only be used on the thread that holds the GIL; this call "
                              L"came from another thread.");
    }
    return true;
}

/// The native value of a borrowed item, kept alive while it is read.
Value ItemValue(PyObject* item) {
    Py_INCREF(item);
    const PyRef held(item);
    return ToNative(item);
}

/// Array storage over a list or a tuple.
class PythonSequence : public IArrayValue {
public:
    explicit PythonSequence(PyObject* sequence) : m_sequence(sequence) {}

    PyObject* Get() const { return m_sequence.Get(); }

    void Add(const Value& item, bool atFront) override {
        if (PyObject* list = Writable()) {
            Store(item, [list, atFront](PyObject* object) {
                return atFront ? PyList_Insert(list, 0, object) : PyList_Append(list, object);
            });
        }
    }
    void Clear() override {
        if (PyObject* list = Writable()) {
            Checked(PyList_SetSlice(list, 0, PyList_GET_SIZE(list), nullptr));
        }
    }
    void Count(long /*capacity*/) override {}
    long Count() const override {
        return CanTouch(Get()) ? static_cast<long>(PySequence_Fast_GET_SIZE(Get())) : 0;
    }
    void Delete(long index) override {
        if (PyObject* list = Writable()) {
            if (index >= 0 && index < PyList_GET_SIZE(list)) {
                Checked(PyList_SetSlice(list, index, index + 1, nullptr));
            }
        }
    }
    void Insert(long index, const Value& item) override {
        if (PyObject* list = Writable()) {
            const Py_ssize_t position =
                std::min<Py_ssize_t>(std::max<long>(index, 0), PyList_GET_SIZE(list));
            Store(item, [list, position](PyObject* object) {
                return PyList_Insert(list, position, object);
            });
        }
    }
    bool IsEmpty() const override { return Count() == 0; }
    Value Item(long index) const override {
        if (!CanTouch(Get()) || index < 0 || index >= PySequence_Fast_GET_SIZE(Get())) {
            return Value();
        }
        return ItemValue(PySequence_Fast_GET_ITEM(Get(), index));
    }
    void Replace(long index, const Value& item) override {
        if (PyObject* list = Writable()) {
            if (index >= 0 && index < PyList_GET_SIZE(list)) {
                Store(item, [list, index](PyObject* object) {
                    Py_INCREF(object);  // PyList_SetItem takes the reference over
                    return PyList_SetItem(list, index, object);
                });
            }
        }
    }

private:
    static void Checked(int status) {
        if (status != 0) {
            throw PythonErrorPending();
        }
    }
    /// The list, or null once the interpreter has gone; throws for a tuple.
    PyObject* Writable() const {
        if (!CanTouch(Get())) {
            return nullptr;
        }
        if (!PyList_Check(Get())) {
            throw ScriptException(L"A Python " + Common::ToWString(Py_TYPE(Get())->tp_name) +
                                  L" cannot be changed; pass a list.");
        }
        return Get();
    }
    template <class Operation>
    static void Store(const Value& item, Operation operation) {
        PyObject* object = ToPython(item);
        const int status = operation(object);
        Py_DECREF(object);
        Checked(status);
    }

    PythonReference m_sequence;
};

/// Hash storage over a dict. FirstKey lists the dict's str keys and NextKey walks that list by
/// position, each key once; the empty key, when there is one, comes last, where it reads like
/// the end of the walk: to see it, walk Count() keys.
class PythonDict : public IHashValue {
public:
    explicit PythonDict(PyObject* dict) : m_dict(dict) {}

    PyObject* Get() const { return m_dict.Get(); }

    void Add(const std::wstring& key, const Value& item) override { Replace(key, item); }
    void Clear() override {
        if (CanTouch(Get())) {
            for (PyObject* key : Keys()) {
                const int status = PyDict_DelItem(Get(), key);
                Py_DECREF(key);
                if (status != 0) {
                    PyErr_Clear();
                }
            }
        }
    }
    long Count() const override {
        if (!CanTouch(Get())) {
            return 0;
        }
        long count = 0;
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(Get(), &position, &key, &item)) {
            count += PyUnicode_Check(key) ? 1 : 0;
        }
        return count;
    }
    void Delete(const std::wstring& key) override {
        if (CanTouch(Get())) {
            PyObject* text = NewKey(key);
            if (PyDict_DelItem(Get(), text) != 0) {
                PyErr_Clear();  // no such key
            }
            Py_DECREF(text);
        }
    }
    bool Exists(const std::wstring& key) const override {
        return CanTouch(Get()) && Find(key) != nullptr;
    }
    std::wstring FirstKey() const override {
        m_keys.clear();
        m_cursor = 0;
        if (CanTouch(Get())) {
            bool hasEmptyKey = false;
            for (PyObject* key : Keys()) {
                std::wstring text;
                try {
                    text = ToWide(key);
                } catch (...) {
                    Py_DECREF(key);
                    throw;
                }
                Py_DECREF(key);
                if (text.empty()) {
                    hasEmptyKey = true;
                } else {
                    m_keys.push_back(std::move(text));
                }
            }
            if (hasEmptyKey) {
                m_keys.emplace_back();
            }
        }
        return m_keys.empty() ? std::wstring() : m_keys.front();
    }
    void Insert(const std::wstring& key, const Value& item) override { Replace(key, item); }
    bool IsEmpty() const override { return Count() == 0; }
    Value Item(const std::wstring& key) const override {
        if (!CanTouch(Get())) {
            return Value();
        }
        PyObject* item = Find(key);
        return item != nullptr ? ItemValue(item) : Value();
    }
    std::wstring NextKey(const std::wstring& key) const override {
        if (m_cursor >= m_keys.size() || m_keys[m_cursor] != key) {
            const auto found = std::find(m_keys.begin(), m_keys.end(), key);
            if (found == m_keys.end()) {
                return std::wstring();
            }
            m_cursor = static_cast<std::size_t>(found - m_keys.begin());
        }
        ++m_cursor;
        return m_cursor < m_keys.size() ? m_keys[m_cursor] : std::wstring();
    }
    void Replace(const std::wstring& key, const Value& item) override {
        if (CanTouch(Get())) {
            PyObject* object = ToPython(item);
            PyObject* text = nullptr;
            try {
                text = NewKey(key);
            } catch (...) {
                Py_DECREF(object);
                throw;
            }
            const int status = PyDict_SetItem(Get(), text, object);
            Py_DECREF(text);
            Py_DECREF(object);
            if (status != 0) {
                throw PythonErrorPending();
            }
        }
    }

private:
    /// The item under `key` (borrowed), or null.
    PyObject* Find(const std::wstring& key) const {
        PyObject* text = NewKey(key);
        PyObject* item = PyDict_GetItemWithError(Get(), text);
        Py_DECREF(text);
        if (item == nullptr && PyErr_Occurred() != nullptr) {
            throw PythonErrorPending();
        }
        return item;
    }
    /// New references to the str keys, taken before anything changes the dict.
    std::vector<PyObject*> Keys() const {
        std::vector<PyObject*> keys;
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(Get(), &position, &key, &item)) {
            if (PyUnicode_Check(key)) {
                Py_INCREF(key);
                keys.push_back(key);
            }
        }
        return keys;
    }

    PythonReference m_dict;
    mutable std::vector<std::wstring> m_keys;
    mutable std::size_t m_cursor = 0;
};

// Keeps the dict storage alive for the Hash wrapper, which does not own it; a base class, so
// that the storage exists before the Hash part is built.
struct DictHolder {
    boost::shared_ptr<PythonDict> storage;
};

class PythonHashWrapper : private DictHolder, public Hash {
public:
    explicit PythonHashWrapper(boost::shared_ptr<PythonDict> dict)
        : DictHolder{std::move(dict)}, Hash(storage.get(), Value()) {}
    PythonHashWrapper(const PythonHashWrapper&) = delete;
    PythonHashWrapper& operator=(const PythonHashWrapper&) = delete;

    PyObject* GetDict() const { return storage->Get(); }
};

// --- velmorand.Array and velmorand.Hash ------------------------------------------------------

struct Collection {
    PyObject_HEAD
        // Constructed in place once Python has allocated the object; empty after tp_clear.
        boost::shared_ptr<IObject>
            object;
    IArray* array;
    IHash* hash;
};

PyObject* arrayType = nullptr;
PyObject* hashType = nullptr;

Collection* AsCollection(PyObject* self) {
    return reinterpret_cast<Collection*>(self);
}

PyObject* NewCollection(PyObject* type, IObject& wrapper, IArray* array, IHash* hash) {
    auto* pythonType = reinterpret_cast<PyTypeObject*>(type);
    PyObject* self = pythonType->tp_alloc(pythonType, 0);
    if (self == nullptr) {
        throw PythonErrorPending();
    }
    Collection* collection = AsCollection(self);
    new (&collection->object) boost::shared_ptr<IObject>(wrapper.shared_from_this());
    collection->array = array;
    collection->hash = hash;
    return self;
}

void CollectionDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    AsCollection(self)->object.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

// The native collection keeps no Python object that Python's collector could follow (lists
// and dicts come back as themselves); only the type is visited.
int CollectionTraverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int CollectionClear(PyObject* self) {
    Collection* collection = AsCollection(self);
    collection->array = nullptr;
    collection->hash = nullptr;
    collection->object.reset();
    return 0;
}

IArray& ArrayOf(PyObject* self) {
    IArray* array = AsCollection(self)->array;
    if (array == nullptr) {
        throw ScriptException(L"The array was released.");
    }
    return *array;
}

IHash& HashOf(PyObject* self) {
    IHash* hash = AsCollection(self)->hash;
    if (hash == nullptr) {
        throw ScriptException(L"The hash was released.");
    }
    return *hash;
}

Py_ssize_t ArrayLength(PyObject* self) {
    try {
        return static_cast<Py_ssize_t>(ArrayOf(self).Count());
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

/// A new list of the array's items.
PyObject* ArrayToList(PyObject* self) {
    IArray& array = ArrayOf(self);
    const long count = array.Count();
    PyObject* list = PyList_New(0);
    if (list == nullptr) {
        throw PythonErrorPending();
    }
    try {
        for (long i = 0; i < count; ++i) {
            PyObject* item = ToPython(array.Item(i));
            const int status = PyList_Append(list, item);
            Py_DECREF(item);
            if (status != 0) {
                throw PythonErrorPending();
            }
        }
    } catch (...) {
        Py_DECREF(list);
        throw;
    }
    return list;
}

/// The position `index` stands for (negative from the end); -1 with IndexError set when it is
/// out of range.
Py_ssize_t Position(Py_ssize_t index, Py_ssize_t length) {
    if (index < 0) {
        index += length;
    }
    if (index < 0 || index >= length) {
        PyErr_SetString(PyExc_IndexError, "array index out of range");
        return -1;
    }
    return index;
}

PyObject* ArrayItem(PyObject* self, Py_ssize_t index) {
    try {
        IArray& array = ArrayOf(self);
        if (Position(index, array.Count()) < 0) {
            return nullptr;
        }
        return ToPython(array.Item(static_cast<long>(index)));
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* ArraySubscript(PyObject* self, PyObject* key) {
    try {
        if (PySlice_Check(key)) {
            PyObject* list = ArrayToList(self);
            PyObject* slice = PyObject_GetItem(list, key);
            Py_DECREF(list);
            return slice;
        }
        const Py_ssize_t index = PyNumber_AsSsize_t(key, PyExc_IndexError);
        if (index == -1 && PyErr_Occurred() != nullptr) {
            return nullptr;
        }
        IArray& array = ArrayOf(self);
        const Py_ssize_t position = Position(index, array.Count());
        if (position < 0) {
            return nullptr;
        }
        return ToPython(array.Item(static_cast<long>(position)));
    } catch (...) {
        return RaiseCaughtException();
    }
}

int ArrayAssign(PyObject* self, PyObject* key, PyObject* value) {
    try {
        const Py_ssize_t index = PyNumber_AsSsize_t(key, PyExc_IndexError);
        if (index == -1 && PyErr_Occurred() != nullptr) {
            return -1;
        }
        IArray& array = ArrayOf(self);
        const Py_ssize_t position = Position(index, array.Count());
        if (position < 0) {
            return -1;
        }
        if (value == nullptr) {
            array.Delete(static_cast<long>(position));
        } else {
            array.Replace(static_cast<long>(position), ToNative(value));
        }
        return 0;
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

/// Compares as a list with lists, tuples and other arrays.
PyObject* ArrayCompare(PyObject* self, PyObject* other, int operation) {
    const bool comparable = PyList_Check(other) || PyTuple_Check(other) ||
                            PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(arrayType));
    if ((operation != Py_EQ && operation != Py_NE) || !comparable) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    try {
        PyObject* mine = ArrayToList(self);
        PyObject* theirs = PySequence_List(other);
        PyObject* result =
            theirs != nullptr ? PyObject_RichCompare(mine, theirs, operation) : nullptr;
        Py_DECREF(mine);
        Py_XDECREF(theirs);
        return result;
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* ArrayRepr(PyObject* self) {
    try {
        PyObject* list = ArrayToList(self);
        PyObject* text = PyUnicode_FromFormat("velmorand.Array(%R)", list);
        Py_DECREF(list);
        return text;
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* ArrayAppend(PyObject* self, PyObject* item) {
    try {
        ArrayOf(self).Add(ToNative(item), false);
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

PyObject* ArrayInsert(PyObject* self, PyObject* const* arguments, Py_ssize_t count) {
    if (count != 2) {
        PyErr_SetString(PyExc_TypeError, "insert expects an index and an item");
        return nullptr;
    }
    const Py_ssize_t index = PyNumber_AsSsize_t(arguments[0], PyExc_IndexError);
    if (index == -1 && PyErr_Occurred() != nullptr) {
        return nullptr;
    }
    try {
        IArray& array = ArrayOf(self);
        // As list.insert: a negative index counts from the end.
        const long length = array.Count();
        const long position = index < 0 ? std::max<long>(static_cast<long>(index) + length, 0)
                                        : static_cast<long>(std::min<Py_ssize_t>(index, length));
        array.Insert(position, ToNative(arguments[1]));
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

PyObject* ArrayClearItems(PyObject* self, PyObject*) {
    try {
        ArrayOf(self).Clear();
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_RETURN_NONE;
}

/// `name` of the list of the array's items, for what a sequence offers beyond indexing.
template <const char* name>
PyObject* ArrayListMethod(PyObject* self, PyObject* const* arguments, Py_ssize_t count) {
    PyObject* list = nullptr;
    try {
        list = ArrayToList(self);
    } catch (...) {
        return RaiseCaughtException();
    }
    PyObject* method = PyObject_GetAttrString(list, name);
    Py_DECREF(list);
    if (method == nullptr) {
        return nullptr;
    }
    PyObject* result =
        PyObject_Vectorcall(method, arguments, static_cast<std::size_t>(count), nullptr);
    Py_DECREF(method);
    return result;
}
constexpr char indexName[] = "index";
constexpr char countName[] = "count";

PyMethodDef arrayMethods[] = {
    {"append", &ArrayAppend, METH_O, "append(item)\n--\n\nAdds the item at the end."},
    {"insert", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(&ArrayInsert)), METH_FASTCALL,
     "insert(index, item)\n--\n\nInserts the item before index."},
    {"clear", &ArrayClearItems, METH_NOARGS, "clear()\n--\n\nRemoves every item."},
    {"index", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(&ArrayListMethod<indexName>)),
     METH_FASTCALL, "index(value, start=0, stop=len)\n--\n\nThe first position of value."},
    {"count", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(&ArrayListMethod<countName>)),
     METH_FASTCALL, "count(value)\n--\n\nHow many items equal value."},
    {nullptr, nullptr, 0, nullptr}};

/// The hash's keys, in the order it walks them: Count() keys from FirstKey (see PythonDict).
std::vector<std::wstring> HashKeys(IHash& hash) {
    std::vector<std::wstring> keys;
    std::wstring key = hash.FirstKey();
    for (long i = hash.Count(); i > 0; --i, key = hash.NextKey(key)) {
        keys.push_back(key);
    }
    return keys;
}

/// A new list of the hash's keys, values or (key, value) tuples.
enum class HashPart { Keys, Values, Items };
PyObject* HashList(PyObject* self, HashPart part) {
    IHash& hash = HashOf(self);
    PyObject* list = PyList_New(0);
    if (list == nullptr) {
        throw PythonErrorPending();
    }
    try {
        for (const std::wstring& key : HashKeys(hash)) {
            PyObject* entry = nullptr;
            if (part == HashPart::Keys) {
                entry = NewKey(key);
            } else {
                PyObject* value = ToPython(hash.Item(key));
                if (part == HashPart::Values) {
                    entry = value;
                } else {
                    PyObject* text = NewKey(key);
                    entry = PyTuple_Pack(2, text, value);
                    Py_DECREF(text);
                    Py_DECREF(value);
                }
            }
            const int status = entry != nullptr ? PyList_Append(list, entry) : -1;
            Py_XDECREF(entry);
            if (status != 0) {
                throw PythonErrorPending();
            }
        }
    } catch (...) {
        Py_DECREF(list);
        throw;
    }
    return list;
}

/// The new dict of the hash's entries.
PyObject* HashToDict(PyObject* self) {
    PyObject* items = HashList(self, HashPart::Items);
    PyObject* dict = PyDict_New();
    if (dict != nullptr && PyDict_MergeFromSeq2(dict, items, 1) != 0) {
        Py_CLEAR(dict);
    }
    Py_DECREF(items);
    if (dict == nullptr) {
        throw PythonErrorPending();
    }
    return dict;
}

Py_ssize_t HashLength(PyObject* self) {
    try {
        return static_cast<Py_ssize_t>(HashOf(self).Count());
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

PyObject* HashSubscript(PyObject* self, PyObject* key) {
    try {
        IHash& hash = HashOf(self);
        if (PyUnicode_Check(key)) {
            const std::wstring text = ToWide(key);
            if (hash.Exists(text)) {
                return ToPython(hash.Item(text));
            }
        }
        PyErr_SetObject(PyExc_KeyError, key);
        return nullptr;
    } catch (...) {
        return RaiseCaughtException();
    }
}

int HashAssign(PyObject* self, PyObject* key, PyObject* value) {
    if (!PyUnicode_Check(key)) {
        PyErr_SetString(PyExc_TypeError, "hash keys are str");
        return -1;
    }
    try {
        IHash& hash = HashOf(self);
        const std::wstring text = ToWide(key);
        const bool exists = hash.Exists(text);
        if (value == nullptr) {
            if (!exists) {
                PyErr_SetObject(PyExc_KeyError, key);
                return -1;
            }
            hash.Delete(text);
        } else if (exists) {
            hash.Replace(text, ToNative(value));
        } else {
            hash.Add(text, ToNative(value));
        }
        return 0;
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

int HashContains(PyObject* self, PyObject* key) {
    if (!PyUnicode_Check(key)) {
        return 0;
    }
    try {
        return HashOf(self).Exists(ToWide(key)) ? 1 : 0;
    } catch (...) {
        RaiseCaughtException();
        return -1;
    }
}

PyObject* HashIterate(PyObject* self) {
    try {
        PyObject* keys = HashList(self, HashPart::Keys);
        PyObject* iterator = PyObject_GetIter(keys);
        Py_DECREF(keys);
        return iterator;
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* HashCompare(PyObject* self, PyObject* other, int operation) {
    const bool comparable =
        PyDict_Check(other) || PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(hashType));
    if ((operation != Py_EQ && operation != Py_NE) || !comparable) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    try {
        PyObject* mine = HashToDict(self);
        PyObject* theirs = PyDict_Check(other) ? (Py_INCREF(other), other) : HashToDict(other);
        PyObject* result = PyObject_RichCompare(mine, theirs, operation);
        Py_DECREF(mine);
        Py_DECREF(theirs);
        return result;
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* HashRepr(PyObject* self) {
    try {
        PyObject* dict = HashToDict(self);
        PyObject* text = PyUnicode_FromFormat("velmorand.Hash(%R)", dict);
        Py_DECREF(dict);
        return text;
    } catch (...) {
        return RaiseCaughtException();
    }
}

template <HashPart Part>
PyObject* HashPartMethod(PyObject* self, PyObject*) {
    try {
        return HashList(self, Part);
    } catch (...) {
        return RaiseCaughtException();
    }
}

PyObject* HashGet(PyObject* self, PyObject* const* arguments, Py_ssize_t count) {
    if (count < 1 || count > 2) {
        PyErr_SetString(PyExc_TypeError, "get expects a key and an optional default");
        return nullptr;
    }
    PyObject* fallback = count == 2 ? arguments[1] : Py_None;
    try {
        if (PyUnicode_Check(arguments[0])) {
            IHash& hash = HashOf(self);
            const std::wstring key = ToWide(arguments[0]);
            if (hash.Exists(key)) {
                return ToPython(hash.Item(key));
            }
        }
    } catch (...) {
        return RaiseCaughtException();
    }
    Py_INCREF(fallback);
    return fallback;
}

PyMethodDef hashMethods[] = {
    {"keys", &HashPartMethod<HashPart::Keys>, METH_NOARGS, "keys()\n--\n\nThe keys, as a list."},
    {"values", &HashPartMethod<HashPart::Values>, METH_NOARGS,
     "values()\n--\n\nThe values, as a list."},
    {"items", &HashPartMethod<HashPart::Items>, METH_NOARGS,
     "items()\n--\n\nThe (key, value) pairs, as a list."},
    {"get", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(&HashGet)), METH_FASTCALL,
     "get(key, default=None)\n--\n\nThe value under key, else default."},
    {nullptr, nullptr, 0, nullptr}};

constexpr unsigned long collectionFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION;

PyType_Slot arraySlots[] = {
    {Py_tp_doc, const_cast<char*>("A native array: a sequence indexed from 0.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&CollectionDealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(&CollectionTraverse)},
    {Py_tp_clear, reinterpret_cast<void*>(&CollectionClear)},
    {Py_tp_repr, reinterpret_cast<void*>(&ArrayRepr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(&ArrayCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
    {Py_tp_methods, arrayMethods},
    {Py_sq_length, reinterpret_cast<void*>(&ArrayLength)},
    {Py_sq_item, reinterpret_cast<void*>(&ArrayItem)},
    {Py_mp_length, reinterpret_cast<void*>(&ArrayLength)},
    {Py_mp_subscript, reinterpret_cast<void*>(&ArraySubscript)},
    {Py_mp_ass_subscript, reinterpret_cast<void*>(&ArrayAssign)},
    {0, nullptr}};
PyType_Spec arrayLayout = {"velmorand.Array", sizeof(Collection), 0, collectionFlags, arraySlots};

PyType_Slot hashSlots[] = {{Py_tp_doc, const_cast<char*>("A native hash: a mapping of str keys.")},
                           {Py_tp_dealloc, reinterpret_cast<void*>(&CollectionDealloc)},
                           {Py_tp_traverse, reinterpret_cast<void*>(&CollectionTraverse)},
                           {Py_tp_clear, reinterpret_cast<void*>(&CollectionClear)},
                           {Py_tp_repr, reinterpret_cast<void*>(&HashRepr)},
                           {Py_tp_richcompare, reinterpret_cast<void*>(&HashCompare)},
                           {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
                           {Py_tp_iter, reinterpret_cast<void*>(&HashIterate)},
                           {Py_tp_methods, hashMethods},
                           {Py_sq_contains, reinterpret_cast<void*>(&HashContains)},
                           {Py_mp_length, reinterpret_cast<void*>(&HashLength)},
                           {Py_mp_subscript, reinterpret_cast<void*>(&HashSubscript)},
                           {Py_mp_ass_subscript, reinterpret_cast<void*>(&HashAssign)},
                           {0, nullptr}};
PyType_Spec hashLayout = {"velmorand.Hash", sizeof(Collection), 0, collectionFlags, hashSlots};

}  // namespace

Value ToNativeCollection(PyObject* object) {
    if (PyList_Check(object) || PyTuple_Check(object)) {
        boost::shared_ptr<IArray> array =
            boost::make_shared<Array>(boost::make_shared<PythonSequence>(object));
        return Value(array);
    }
    if (PyDict_Check(object)) {
        boost::shared_ptr<IHash> hash =
            boost::make_shared<PythonHashWrapper>(boost::make_shared<PythonDict>(object));
        return Value(hash);
    }
    if (PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(arrayType))) {
        IArray& array = ArrayOf(object);
        return Value(boost::shared_ptr<IArray>(AsCollection(object)->object, &array));
    }
    if (PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(hashType))) {
        IHash& hash = HashOf(object);
        return Value(boost::shared_ptr<IHash>(AsCollection(object)->object, &hash));
    }
    return Value();
}

PyObject* CollectionToPython(IObject& wrapper) {
    // Most objects have the standard wrapper, which is no collection: no cross casts to tell.
    if (typeid(wrapper) == typeid(Object)) {
        return nullptr;
    }
    if (auto* array = dynamic_cast<Array*>(&wrapper)) {
        if (const auto sequence =
                boost::dynamic_pointer_cast<PythonSequence>(array->GetScriptedArray())) {
            Py_INCREF(sequence->Get());
            return sequence->Get();
        }
    }
    if (auto* hash = dynamic_cast<PythonHashWrapper*>(&wrapper)) {
        Py_INCREF(hash->GetDict());
        return hash->GetDict();
    }
    if (auto* array = dynamic_cast<IArray*>(&wrapper)) {
        return NewCollection(arrayType, wrapper, array, nullptr);
    }
    if (auto* hash = dynamic_cast<IHash*>(&wrapper)) {
        return NewCollection(hashType, wrapper, nullptr, hash);
    }
    return nullptr;
}

PyObject* HashOfDictFunction(PyObject*, PyObject* dict) {
    if (!PyDict_Check(dict)) {
        PyErr_SetString(PyExc_TypeError, "_hash_of expects a dict");
        return nullptr;
    }
    try {
        const auto wrapper =
            boost::make_shared<PythonHashWrapper>(boost::make_shared<PythonDict>(dict));
        return NewCollection(hashType, *wrapper, nullptr, wrapper.get());
    } catch (...) {
        return RaiseCaughtException();
    }
}

bool InitCollectionTypes(PyObject* module) {
    if (arrayType == nullptr) {
        arrayType = PyType_FromSpec(&arrayLayout);
        hashType = arrayType != nullptr ? PyType_FromSpec(&hashLayout) : nullptr;
        if (hashType == nullptr) {
            Py_CLEAR(arrayType);
            return false;
        }
    }
    return PyModule_AddObjectRef(module, "Array", arrayType) == 0 &&
           PyModule_AddObjectRef(module, "Hash", hashType) == 0;
}

}  // namespace Python
}  // namespace VelmorandScript
