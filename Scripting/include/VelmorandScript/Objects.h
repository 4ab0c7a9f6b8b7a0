#pragma once

/// @file
/// Script objects: the wrapper interface scripts hold (IObject) and its standard implementation
/// (Object), the host's link record (WrappedObjectInfo), the collection wrappers and their
/// storage interfaces, and StdVector, the storage over a native vector.

#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Export.h>
#include <VelmorandScript/Values.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <string>
#include <vector>

namespace VelmorandScript {

class Class;
class WrappedObjectInfo;

/// What a script holds in place of a native object. Always owned through a shared pointer.
class VELMORAND_API IObject : public boost::enable_shared_from_this<IObject> {
public:
    IObject() = default;
    /// The copy's self-reference stays empty until a shared pointer owns it.
    IObject(const IObject& other) = default;
    /// Changes nothing: the self-reference belongs to each object.
    IObject& operator=(const IObject&) { return *this; }
    virtual ~IObject();

    /// The native value the wrapper presents.
    virtual Value GetScriptedObject() const = 0;
    /// The info record registered for the wrapper (not owned), or null.
    virtual WrappedObjectInfo* GetWrappedObjectInfo() const = 0;
    /// Replaces the non-owning info pointer; WrappedObjectInfo calls it. A previous record is
    /// neither checked nor released.
    virtual void SetWrappedObjectInfo(WrappedObjectInfo* info) = 0;
    /// A one-line description for the trace log.
    virtual std::wstring Dump(bool brief) const = 0;

protected:
    /// The script class the wrapper presents its value as; empty when it has none.
    virtual boost::shared_ptr<Class> GetClass() const = 0;
    /// A hook for the wrapper's owner (the script host); the library never calls it.
    virtual void OnWrapperDeletion() = 0;
};

/// The standard wrapper: one native value presented as an instance of one script class.
class VELMORAND_API Object : public IObject {
public:
    /// The copy presents the same value as an instance of the same class. It has no info record:
    /// the record registered with `other` owns `other` only.
    Object(const Object& other);
    /// Takes the class and the value of `other`; keeps this wrapper's info record.
    Object& operator=(const Object& other);
    ~Object() override;

    /// A copy of the scripted value, sharing its native value.
    Value GetScriptedObject() const override;
    /// The scripted value itself, without the copy (and its two reference-count changes): for a
    /// caller that reads it while it holds the wrapper. Assigning to the wrapper replaces it.
    /// Only a wrapper whose dynamic type is Object is sure to present this value; a derived
    /// wrapper may present another through GetScriptedObject.
    const Value& GetScriptedObjectRef() const { return m_value; }
    WrappedObjectInfo* GetWrappedObjectInfo() const override { return m_info; }
    void SetWrappedObjectInfo(WrappedObjectInfo* info) override { m_info = info; }
    /// "[<class script name> ID=<address id>]: -> <brief dump of the scripted value>".
    std::wstring Dump(bool brief) const override;

    /// The class's script name; with `skipHidden`, the first visible class of the base chain.
    /// "" for a wrapper without a class.
    const wchar_t* GetClassScriptName(bool skipHidden) const;
    /// The wrapper's class; empty when it has none.
    boost::shared_ptr<Class> GetClass() const override;

protected:
    /// Binds to `scriptClass`, or, when it is empty, to the class of the value's native type
    /// (none when that is not registered either).
    Object(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds to the class registered under the script name; throws message 0xED0010 otherwise.
    Object(const std::wstring& scriptName, const Value& value);

    /// Does nothing; derived wrappers may override it.
    void OnWrapperDeletion() override;
    /// Throws message 0xED000A for an operation that does not apply to the wrapped object.
    [[noreturn]] void GenerateNonApplicableFunctionCallError(
        const std::wstring& functionName) const;

private:
    friend class Class;

    /// Binds to a class that exists (Class::CreateWrapper), taking over the weak reference.
    Object(boost::weak_ptr<Class>&& scriptClass, const Value& value);

    boost::weak_ptr<Class> m_class;
    Value m_value;
    WrappedObjectInfo* m_info;
};

/// A link record that keeps a wrapper alive for its owner (the script host) and carries one
/// pointer of the owner's choosing. Registers itself with the wrapper on construction.
class VELMORAND_API WrappedObjectInfo {
public:
    /// `wrapper` must not be empty: an empty one raises message 0xED000D (null pointer for the
    /// type IObject).
    explicit WrappedObjectInfo(boost::shared_ptr<IObject> wrapper);
    /// The copy shares the wrapper but is not registered with it.
    WrappedObjectInfo(const WrappedObjectInfo& other);
    /// Shares the wrapper and raw pointer of `other`, as the copy does, and touches no wrapper:
    /// the wrapper this record held keeps its info pointer, which is its owner's to change.
    WrappedObjectInfo& operator=(const WrappedObjectInfo& other);
    /// Clears the wrapper's info pointer when it still designates this record.
    virtual ~WrappedObjectInfo();

    /// A new owning reference to the wrapper.
    virtual boost::shared_ptr<IObject> GetWrapperObject() const;
    /// The owner's pointer; null until set. The library never reads it.
    virtual void* GetRawObjectPointer() const;
    /// Replaces the owner's pointer.
    virtual void SetRawObjectPointer(void* pointer);

private:
    boost::shared_ptr<IObject> m_wrapper;
    void* m_rawObjectPointer;
};

/// A wrapper of several items.
class VELMORAND_API ICollection : public Object {
public:
    /// Binds like Object's constructor of the same arguments.
    ICollection(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds like Object's constructor of the same arguments (message 0xED0010 for an unknown
    /// class).
    ICollection(const std::wstring& scriptName, const Value& value);
    /// As Object's copy constructor.
    ICollection(const ICollection& other);
    ~ICollection() override;

    /// The number of items.
    virtual long Count() const = 0;
    /// Whether there are no items.
    virtual bool IsEmpty() const = 0;
    /// Removes every item.
    virtual void Clear() = 0;
};

/// A wrapper of items reached by index. Out-of-range indexes are not errors.
class VELMORAND_API IArray : public ICollection {
public:
    /// Binds like Object's constructor of the same arguments.
    IArray(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds like Object's constructor of the same arguments (message 0xED0010 for an unknown
    /// class).
    IArray(const std::wstring& scriptName, const Value& value);
    /// As Object's copy constructor.
    IArray(const IArray& other);
    ~IArray() override;

    /// The number of items; the default body returns 0.
    long Count() const override = 0;
    /// Whether there are no items; the default body returns true.
    bool IsEmpty() const override = 0;
    /// Removes every item; the default body does nothing.
    void Clear() override = 0;
    /// Appends the item, or, when `atFront`, inserts it first.
    virtual void Add(const Value& item, bool atFront) = 0;
    /// Reserves room for `capacity` items.
    virtual void Count(long capacity) = 0;
    /// Removes the item at `index`; an index out of range does nothing.
    virtual void Delete(long index) = 0;
    /// Inserts before `index`; an index below 0 inserts first, one at or past the end appends.
    virtual void Insert(long index, const Value& item) = 0;
    /// The item at `index`, or an empty value.
    virtual Value Item(long index) const = 0;
    /// Overwrites the item at `index`; an index out of range does nothing.
    virtual void Replace(long index, const Value& item) = 0;
};

/// A wrapper of items reached by key.
class VELMORAND_API IHash : public ICollection {
public:
    /// Binds like Object's constructor of the same arguments.
    IHash(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds like Object's constructor of the same arguments (message 0xED0010 for an unknown
    /// class).
    IHash(const std::wstring& scriptName, const Value& value);
    /// As Object's copy constructor.
    IHash(const IHash& other);
    ~IHash() override;

    /// The number of entries.
    long Count() const override = 0;
    /// Whether there are no entries.
    bool IsEmpty() const override = 0;
    /// Removes every entry.
    void Clear() override = 0;
    /// Adds the item under `key`.
    virtual void Add(const std::wstring& key, const Value& item) = 0;
    /// Removes the entry of `key`.
    virtual void Delete(const std::wstring& key) = 0;
    /// Whether an entry has `key`.
    virtual bool Exists(const std::wstring& key) const = 0;
    /// The first key, or "" when there is none.
    virtual std::wstring FirstKey() const = 0;
    /// Inserts the item under `key`.
    virtual void Insert(const std::wstring& key, const Value& item) = 0;
    /// The item under `key`.
    virtual Value Item(const std::wstring& key) const = 0;
    /// The key after `key`, or "" at the end.
    virtual std::wstring NextKey(const std::wstring& key) const = 0;
    /// Overwrites the item under `key`.
    virtual void Replace(const std::wstring& key, const Value& item) = 0;
};

/// A wrapper that selects items.
class VELMORAND_API IFilter : public Object {
public:
    /// Binds like Object's constructor of the same arguments.
    IFilter(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds like Object's constructor of the same arguments (message 0xED0010 for an unknown
    /// class).
    IFilter(const std::wstring& scriptName, const Value& value);
    /// As Object's copy constructor.
    IFilter(const IFilter& other);
    ~IFilter() override;

    /// Whether the filter selects `item`. The library neither implements nor calls it.
    virtual bool Matches(const Value& item) const = 0;
};

/// A wrapper that walks items: MoveNext, then Current, until MoveNext returns false.
class VELMORAND_API IIterator : public Object {
public:
    /// Binds like Object's constructor of the same arguments.
    IIterator(boost::shared_ptr<Class> scriptClass, const Value& value);
    /// Binds like Object's constructor of the same arguments (message 0xED0010 for an unknown
    /// class).
    IIterator(const std::wstring& scriptName, const Value& value);
    /// As Object's copy constructor.
    IIterator(const IIterator& other);
    ~IIterator() override;

    /// Steps to the next item; false when there is none. The library neither implements nor
    /// calls it.
    virtual bool MoveNext() = 0;
    /// The item MoveNext stepped to.
    virtual Value Current() const = 0;
};

/// Storage behind an Array: the script host's arrays, or StdVector over a native vector.
/// Every operation is pure with a default body that does nothing (or reports no items).
class VELMORAND_API IArrayValue {
public:
    IArrayValue() = default;
    /// Interfaces carry no state.
    IArrayValue(const IArrayValue&) = default;
    /// Changes nothing: interfaces carry no state.
    IArrayValue& operator=(const IArrayValue&) { return *this; }
    virtual ~IArrayValue();

    /// Appends the item, or, when `atFront`, inserts it first (the meaning of the flag is the
    /// storage's).
    virtual void Add(const Value& item, bool atFront) = 0;
    /// Removes every item.
    virtual void Clear() = 0;
    /// Reserves room for `capacity` items.
    virtual void Count(long capacity) = 0;
    /// The number of items (0 by default).
    virtual long Count() const = 0;
    /// Removes the item at `index`.
    virtual void Delete(long index) = 0;
    /// Inserts the item before `index`.
    virtual void Insert(long index, const Value& item) = 0;
    /// Whether there are no items (true by default).
    virtual bool IsEmpty() const = 0;
    /// The item at `index`, or an empty value (the default).
    virtual Value Item(long index) const = 0;
    /// Overwrites the item at `index`.
    virtual void Replace(long index, const Value& item) = 0;
};

/// Storage behind a Hash: the script host's hashes.
class VELMORAND_API IHashValue {
public:
    IHashValue() = default;
    /// Interfaces carry no state.
    IHashValue(const IHashValue&) = default;
    /// Changes nothing: interfaces carry no state.
    IHashValue& operator=(const IHashValue&) { return *this; }
    virtual ~IHashValue();

    /// Adds the item under `key`.
    virtual void Add(const std::wstring& key, const Value& item) = 0;
    /// Removes every entry.
    virtual void Clear() = 0;
    /// The number of entries (0 by default).
    virtual long Count() const = 0;
    /// Removes the entry of `key`.
    virtual void Delete(const std::wstring& key) = 0;
    /// Whether an entry has `key` (false by default).
    virtual bool Exists(const std::wstring& key) const = 0;
    /// The first key in the storage's order, or "" (the default).
    virtual std::wstring FirstKey() const = 0;
    /// Inserts the item under `key` (no default body).
    virtual void Insert(const std::wstring& key, const Value& item) = 0;
    /// Whether there are no entries (no default body).
    virtual bool IsEmpty() const = 0;
    /// The item under `key` (no default body).
    virtual Value Item(const std::wstring& key) const = 0;
    /// The key after `key` in the storage's order, or "" (the default).
    virtual std::wstring NextKey(const std::wstring& key) const = 0;
    /// Overwrites the item under `key`.
    virtual void Replace(const std::wstring& key, const Value& item) = 0;
};

/// The array wrapper: forwards every operation to its storage, which it owns. Bound to the class
/// registered under "VelmorandScript::Array" (message 0xED0010 while there is none).
class VELMORAND_API Array : public IArray {
public:
    /// Shares the storage (an empty pointer gives an array without items).
    explicit Array(boost::shared_ptr<IArrayValue> storage);
    /// Takes ownership of the storage.
    explicit Array(IArrayValue* storage);
    /// Shares the storage of `other`.
    Array(const Array& other);
    ~Array() override;

    /// A pointer to this wrapper as an IArray (not owning).
    Value GetScriptedObject() const override;
    /// The storage, as a new owning reference.
    boost::shared_ptr<IArrayValue> GetScriptedArray() const { return m_storage; }

    long Count() const override;
    bool IsEmpty() const override;
    void Clear() override;
    void Add(const Value& item, bool atFront) override;
    void Count(long capacity) override;
    void Delete(long index) override;
    void Insert(long index, const Value& item) override;
    Value Item(long index) const override;
    void Replace(long index, const Value& item) override;

private:
    boost::shared_ptr<IArrayValue> m_storage;
};

/// The hash wrapper: forwards every operation to its storage, which it does not own.
class VELMORAND_API Hash : public IHash {
public:
    /// `storage` must not be null and must outlive the wrapper.
    Hash(IHashValue* storage, const Value& value);
    /// Keeps the same storage pointer as `other`.
    Hash(const Hash& other);
    ~Hash() override;

    /// A pointer to this wrapper as an IHash (not owning).
    Value GetScriptedObject() const override;

    long Count() const override;
    bool IsEmpty() const override;
    void Clear() override;
    void Add(const std::wstring& key, const Value& item) override;
    void Delete(const std::wstring& key) override;
    bool Exists(const std::wstring& key) const override;
    std::wstring FirstKey() const override;
    void Insert(const std::wstring& key, const Value& item) override;
    Value Item(const std::wstring& key) const override;
    std::wstring NextKey(const std::wstring& key) const override;
    void Replace(const std::wstring& key, const Value& item) override;

private:
    IHashValue* m_storage;
};

namespace Detail {

template <class T>
Value MakeItemValue(const T& item) {
    return Value(&item);
}

template <class T>
Value MakeItemValue(const boost::shared_ptr<T>& item) {
    return Value(item);
}

}  // namespace Detail

/// Array storage over a native vector, shared with its creator. Items go out as Values holding
/// a copy of the element (a shared pointer element: a Value sharing its object) and come in
/// through GetAs<T>, which requires the declared type T.
template <class T>
class StdVector : public IArrayValue {
public:
    /// Shares `items`; an empty pointer behaves as the IArrayValue defaults.
    explicit StdVector(boost::shared_ptr<std::vector<T>> items) : m_items(std::move(items)) {}

    void Add(const Value& item, bool atFront) override {
        if (atFront) {
            Insert(0, item);
        } else if (m_items) {
            m_items->push_back(GetAs<T>(item));
        }
    }
    void Clear() override {
        if (m_items) {
            m_items->clear();
        }
    }
    void Count(long capacity) override {
        if (m_items && capacity > 0 && static_cast<std::size_t>(capacity) > m_items->size()) {
            m_items->reserve(static_cast<std::size_t>(capacity));
        }
    }
    long Count() const override { return m_items ? static_cast<long>(m_items->size()) : 0; }
    void Delete(long index) override {
        if (InRange(index)) {
            m_items->erase(m_items->begin() + index);
        }
    }
    void Insert(long index, const Value& item) override {
        if (!m_items) {
            return;
        }
        T element = GetAs<T>(item);
        const long count = Count();
        const long position = index < 0 ? 0 : (index > count ? count : index);
        m_items->insert(m_items->begin() + position, std::move(element));
    }
    bool IsEmpty() const override { return Count() == 0; }
    Value Item(long index) const override {
        return InRange(index) ? Detail::MakeItemValue((*m_items)[index]) : Value();
    }
    void Replace(long index, const Value& item) override {
        if (InRange(index)) {
            (*m_items)[index] = GetAs<T>(item);
        }
    }

    /// The shared vector.
    const boost::shared_ptr<std::vector<T>>& GetItems() const { return m_items; }

private:
    bool InRange(long index) const {
        return m_items && index >= 0 && static_cast<std::size_t>(index) < m_items->size();
    }

    boost::shared_ptr<std::vector<T>> m_items;
};

}  // namespace VelmorandScript
