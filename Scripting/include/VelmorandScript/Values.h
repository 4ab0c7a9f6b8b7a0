#pragma once

/// @file
/// Values and data types: the identity of native types (DataType), the variant that carries any
/// native value across the scripting boundary (Value), the checked reads of a Value as a native
/// type (CastTo; the converting reads are in Conversion.h) and default values (ValueFactory).

#include <VelmorandScript/Export.h>

#include <boost/config.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace VelmorandScript {

class IObject;
class IArray;
class IHash;

/// The identity and script-readable name of a native type.
///
/// Two DataTypes are equal when the run-time names of their types are equal, so one type seen
/// from different shared libraries is one key in every registry. The script-readable name is the
/// demangled type name with `std::wstring` read as "String" ("long", "String",
/// "std::vector<String, std::allocator<String> >").
class VELMORAND_API DataType {
public:
    /// The identity of `type`; the name is looked up on first use.
    explicit DataType(const std::type_info& type) : m_type(&type), m_name(nullptr) {}
    /// Copies the identity (and the cached name, if any).
    DataType(const DataType& other)
        : m_type(other.m_type), m_name(other.m_name.load(std::memory_order_acquire)) {}
    /// Copies the identity (and the cached name, if any).
    DataType& operator=(const DataType& other) {
        m_type = other.m_type;
        m_name.store(other.m_name.load(std::memory_order_acquire), std::memory_order_release);
        return *this;
    }
    ~DataType() = default;

    /// -1, 0 or +1: the run-time type names compared byte by byte as unsigned bytes, a shorter
    /// name that is a prefix of the other being the smaller.
    int Compare(const DataType& other) const {
        if (m_type == other.m_type) {
            return 0;
        }
        // strcmp compares as unsigned char, and a proper prefix sorts first. Inline, because
        // every registry lookup makes several of these comparisons; most differ in their first
        // byte, which needs no call.
        const char* const name = m_type->name();
        const char* const otherName = other.m_type->name();
        const unsigned char first = static_cast<unsigned char>(name[0]);
        const unsigned char otherFirst = static_cast<unsigned char>(otherName[0]);
        if (first != otherFirst) {
            return first < otherFirst ? -1 : 1;
        }
        const int result = std::strcmp(name, otherName);
        return (result > 0) - (result < 0);
    }
    /// The script-readable name, built once per type in the process.
    std::wstring GetName() const {
        const std::wstring* const name = m_name.load(std::memory_order_acquire);
        return name ? *name : LookUpName();
    }
    /// The same name without a copy; valid until the library is unloaded.
    const std::wstring& GetNameRef() const;
    /// The run-time type this DataType stands for.
    const std::type_info& GetTypeInfo() const { return *m_type; }

    /// Equal run-time type names (see Compare).
    bool operator==(const DataType& other) const { return Compare(other) == 0; }
    /// Different run-time type names (see Compare).
    bool operator!=(const DataType& other) const { return Compare(other) != 0; }
    /// The order of Compare; lets DataType key ordered containers.
    bool operator<(const DataType& other) const { return Compare(other) < 0; }

private:
    std::wstring LookUpName() const;
    static std::wstring ProcessForSubstitution(const std::type_info& type);

    const std::type_info* m_type;
    /// Points into the process-wide name cache once the name was asked for. Atomic, because
    /// one DataType (a registry key, the type of a shared holder) may be named on several
    /// threads at once; on this platform its loads and stores are plain moves.
    mutable std::atomic<const std::wstring*> m_name;
};

namespace Detail {

/// The standard number types, const or not: a shared pointer to a const number holds a number.
template <class T, class U = typename std::remove_cv<T>::type>
struct IsNumberType
    : std::integral_constant<
          bool, std::is_same<U, long>::value || std::is_same<U, unsigned long>::value ||
                    std::is_same<U, int>::value || std::is_same<U, unsigned int>::value ||
                    std::is_same<U, double>::value || std::is_same<U, float>::value ||
                    std::is_same<U, bool>::value || std::is_same<U, unsigned char>::value ||
                    std::is_same<U, char>::value> {};

template <class T>
struct IsObjectType : std::is_base_of<IObject, T> {};

/// The dynamic type of the object behind a non-null pointer.
template <class T>
const std::type_info& DynamicType(const T* object) {
    if constexpr (std::is_polymorphic<T>::value) {
        return typeid(*object);
    } else {
        (void)object;
        return typeid(T);
    }
}

/// The deleter of an object built by MakeShared. It carries the object's storage, so that the
/// object and its reference counts share one allocation.
template <class T>
class InPlaceDeleter {
public:
    InPlaceDeleter() noexcept : m_object(nullptr) {}
    // The shared pointer keeps its own copy of the deleter; nothing is built in it yet.
    InPlaceDeleter(const InPlaceDeleter&) noexcept : m_object(nullptr) {}
    InPlaceDeleter& operator=(const InPlaceDeleter&) = delete;
    ~InPlaceDeleter() { Destroy(); }

    /// Builds the object with `make(storage)`, which returns the object it built there.
    template <class Make>
    BOOST_FORCEINLINE T* Construct(Make&& make) {
        m_object = std::forward<Make>(make)(static_cast<void*>(&m_storage));
        return m_object;
    }
    void operator()(T*) noexcept { Destroy(); }

private:
    void Destroy() noexcept {
        if (m_object) {
            T* object = m_object;
            m_object = nullptr;
            // The object was built as exactly a T: its destructor is called directly, not
            // through the virtual table.
            object->T::~T();
        }
    }

    T* m_object;
    typename std::aligned_storage<sizeof(T), alignof(T)>::type m_storage;
};

/// Memory for the objects MakeShared builds (value holders above all): blocks of up to 128
/// bytes are recycled through per-thread free lists, since a holder is made and released for
/// nearly every conversion and call and the general-purpose heap costs more than the rest of
/// such an operation. Larger blocks come from operator new. Throws std::bad_alloc.
VELMORAND_API void* AllocateSharedBlock(std::size_t size);
/// Takes back a block of AllocateSharedBlock with the same size, on any thread.
VELMORAND_API void FreeSharedBlock(void* block, std::size_t size) noexcept;

/// The allocator of MakeShared: AllocateSharedBlock and FreeSharedBlock.
template <class T>
class SharedBlockAllocator {
public:
    typedef T value_type;

    SharedBlockAllocator() noexcept = default;
    template <class U>
    SharedBlockAllocator(const SharedBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        return static_cast<T*>(AllocateSharedBlock(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept {
        FreeSharedBlock(block, count * sizeof(T));
    }

    template <class U>
    bool operator==(const SharedBlockAllocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const SharedBlockAllocator<U>&) const noexcept {
        return false;
    }
};

/// What boost::make_shared builds (the object and its counts in one block), without the copy
/// and release of a temporary owner that costs boost::make_shared two atomic operations, and
/// with the block from SharedBlockAllocator. `make(storage)` builds the object in the storage
/// given and returns it, so that a class may build an object whose constructor only it can
/// call. Values are made on every conversion and call, so both savings are worth having.
template <class T, class Make>
BOOST_FORCEINLINE boost::shared_ptr<T> MakeSharedWith(Make&& make) {
    boost::shared_ptr<T> owner(static_cast<T*>(nullptr), InPlaceDeleter<T>(),
                               SharedBlockAllocator<T>());
    // The owner's deleter is the InPlaceDeleter<T> just given: asked without get_deleter's
    // comparison of type_info, as boost::make_shared asks for its own.
    T* object = static_cast<InPlaceDeleter<T>*>(owner._internal_get_untyped_deleter())
                    ->Construct(std::forward<Make>(make));
    // The aliasing move hands the ownership over without touching the counts.
    boost::shared_ptr<T> result(std::move(owner), object);
    // What boost::make_shared does too: an object that derives from enable_shared_from_this
    // (a wrapper) learns its owner; for any other type this does nothing.
    boost::detail::sp_enable_shared_from_this(&result, object, object);
    return result;
}

/// MakeSharedWith for a T built from `args`.
template <class T, class... Args>
BOOST_FORCEINLINE boost::shared_ptr<T> MakeShared(Args&&... args) {
    return MakeSharedWith<T>(
        [&args...](void* storage) { return ::new (storage) T(std::forward<Args>(args)...); });
}

}  // namespace Detail

/// The one variant that carries any native value across the scripting boundary.
///
/// A Value is a flag word and a shared pointer to a holder that owns a copy of the native value,
/// refers to it without owning it, or shares it through a shared pointer. Copying a Value shares
/// the holder: both copies see the same native value.
///
///     long n = 5;
///     Value byCopy(&n);                       // owns a copy of n
///     Value byReference(&n, true);            // refers to n; n must outlive the value
///     Value shared(boost::make_shared<long>(5));
///
/// Every Value has a declared type (what it was made as, what the casts check), a derived type
/// (the dynamic type of the held object, what class lookup and wrapping use) and a decorated type
/// (T for a copy, `const T*` for a reference, `boost::shared_ptr<T>` for a shared value).
class VELMORAND_API Value {
public:
    /// Holder of the native value: the abstract base of the three holder templates below.
    class VELMORAND_API Data {
    public:
        /// How the holder keeps its native value.
        enum StorageKind : unsigned int {
            /// Refers to a value owned elsewhere (TypedInstancePointerData).
            PointerStorage = 0x10,
            /// Owns a copy (TypedInstanceData).
            InstanceStorage = 0x20,
            /// Shares it through a shared pointer (TypedInstanceSmartPointerData).
            SharedStorage = 0x30
        };

        /// Records the declared and derived types and the StorageKind.
        Data(const DataType& declaredType, const DataType& derivedType, unsigned int storageKind)
            : m_declaredType(declaredType),
              m_derivedType(derivedType),
              m_storageKind(storageKind) {}
        virtual ~Data();
        /// The declared type with its storage: T, `const T*` or `boost::shared_ptr<T>`.
        virtual DataType GetDecoratedType() const = 0;
        /// The address of the native value; null for a null reference or shared pointer.
        virtual void* GetValuePtr() const = 0;

        /// The type the value was made as (Value::GetType).
        DataType m_declaredType;
        /// The dynamic type of the held object; void for a null pointer (Value::GetDerivedType).
        DataType m_derivedType;
        /// One of StorageKind.
        unsigned int m_storageKind;
    };

    /// A holder whose declared type is T.
    template <class T>
    class TypedData : public Data {
    public:
        /// Declares T; `derivedType` is the dynamic type of the held object.
        TypedData(const DataType& derivedType, unsigned int storageKind)
            : Data(DataType(typeid(T)), derivedType, storageKind) {}
    };

    /// Owns a copy of the native value.
    template <class T>
    class TypedInstanceData : public TypedData<T> {
    public:
        /// Copies `value`; the derived type is the dynamic type of `value`.
        explicit TypedInstanceData(const T& value)
            : TypedData<T>(DataType(Detail::DynamicType(&value)), Data::InstanceStorage),
              m_value(value) {}
        DataType GetDecoratedType() const override { return DataType(typeid(T)); }
        void* GetValuePtr() const override { return const_cast<T*>(&m_value); }

    private:
        T m_value;
    };

    /// Refers to a native value owned by somebody else.
    template <class T>
    class TypedInstancePointerData : public TypedData<T> {
    public:
        /// Refers to `*address` without owning it; a null address gives the derived type void.
        explicit TypedInstancePointerData(const T* address)
            : TypedData<T>(
                  address ? DataType(Detail::DynamicType(address)) : DataType(typeid(void)),
                  Data::PointerStorage),
              m_address(address) {}
        DataType GetDecoratedType() const override { return DataType(typeid(const T*)); }
        void* GetValuePtr() const override { return const_cast<T*>(m_address); }

    private:
        const T* m_address;
    };

    /// Shares the native value through a shared pointer.
    template <class T>
    class TypedInstanceSmartPointerData : public TypedData<T> {
    public:
        /// Shares the pointee of `pointer`; an empty pointer gives the derived type void.
        explicit TypedInstanceSmartPointerData(const boost::shared_ptr<T>& pointer)
            : TypedData<T>(
                  pointer ? DataType(Detail::DynamicType(pointer.get())) : DataType(typeid(void)),
                  Data::SharedStorage),
              m_pointer(pointer) {}
        /// As above, taking the pointer over without touching its counts.
        explicit TypedInstanceSmartPointerData(boost::shared_ptr<T>&& pointer)
            : TypedData<T>(
                  pointer ? DataType(Detail::DynamicType(pointer.get())) : DataType(typeid(void)),
                  Data::SharedStorage),
              m_pointer(std::move(pointer)) {}
        DataType GetDecoratedType() const override {
            return DataType(typeid(boost::shared_ptr<T>));
        }
        void* GetValuePtr() const override {
            return const_cast<typename std::remove_const<T>::type*>(m_pointer.get());
        }

    private:
        boost::shared_ptr<T> m_pointer;
    };

    /// The type of an empty value: the DataType of void.
    static const DataType s_typeVoid;

    /// An empty value.
    Value() : m_flags(0) {}
    /// Shares the holder of `other`: both values see the same native value.
    Value(const Value& other) = default;
    /// Takes the holder and flags of `other`, which is left empty, flags included.
    Value(Value&& other) noexcept : m_flags(other.m_flags), m_data(std::move(other.m_data)) {
        other.m_flags = 0;
    }
    /// Shares the holder of `other`, releasing this value's own.
    Value& operator=(const Value& other) = default;
    /// Takes the holder and flags of `other`, releasing this value's own; `other` is left empty.
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            m_flags = other.m_flags;
            m_data = std::move(other.m_data);
            // An empty value answers false to every flag.
            other.m_flags = 0;
        }
        return *this;
    }
    ~Value() = default;

    /// A value from the address of a native value. For value-like types the value holds a copy
    /// (or, with `byReference`, refers to the object, which must then outlive every copy of the
    /// value) and is const when `isConst` says so. For IObject and its derived interfaces the
    /// value always refers to the object and both flags are ignored.
    template <class T>
    BOOST_FORCEINLINE explicit Value(const T* address, bool byReference = false,
                                     bool isConst = false)
        : m_flags(AddressFlags<T>(isConst)), m_data(AddressHolder(address, byReference)) {}

    /// A value sharing a native value held by a shared pointer (both flags are ignored).
    template <class T>
    explicit Value(const boost::shared_ptr<T>& pointer, bool byReference = false,
                   bool isConst = false)
        : m_flags(SmartPointerFlag | (Detail::IsNumberType<T>::value ? NumberFlag : 0u)),
          m_data(Detail::MakeShared<TypedInstanceSmartPointerData<T>>(pointer)) {
        (void)byReference;
        (void)isConst;
    }

    /// As above, taking over the pointer's share instead of adding one.
    template <class T>
    explicit Value(boost::shared_ptr<T>&& pointer, bool byReference = false, bool isConst = false)
        : m_flags(SmartPointerFlag | (Detail::IsNumberType<T>::value ? NumberFlag : 0u)),
          m_data(Detail::MakeShared<TypedInstanceSmartPointerData<T>>(std::move(pointer))) {
        (void)byReference;
        (void)isConst;
    }

    /// True when the value holds nothing (default-constructed).
    bool IsEmpty() const { return !m_data; }
    /// True when made from an address with `isConst` (never for IObjects or shared values).
    bool IsConst() const { return (m_flags & ConstFlag) != 0; }
    /// True when made from the address of an IObject or a derived interface.
    bool IsIObject() const { return (m_flags & ObjectFlag) != 0; }
    /// True when made from the address of an IArray (or a type derived from it).
    bool IsVector() const { return (m_flags & VectorFlag) != 0; }
    /// True when made from the address of an IHash (or a type derived from it).
    bool IsMap() const { return (m_flags & MapFlag) != 0; }
    /// True for the number types: long, unsigned long, int, unsigned int, double, float, bool,
    /// unsigned char and char.
    bool IsNumber() const { return (m_flags & NumberFlag) != 0; }
    /// True when made from a boost::shared_ptr.
    bool IsInsideSmartPointer() const { return (m_flags & SmartPointerFlag) != 0; }

    /// The address of the native value; null for an empty value or a null reference.
    void* GetValuePtr() const { return m_data ? m_data->GetValuePtr() : nullptr; }
    /// The type the value was made as; s_typeVoid for an empty value.
    const DataType& GetType() const { return m_data ? m_data->m_declaredType : s_typeVoid; }
    /// The script-readable name of GetType().
    std::wstring GetTypeName() const { return GetType().GetName(); }
    /// The dynamic type of the held object; s_typeVoid for an empty value or a null pointer.
    const DataType& GetDerivedType() const { return m_data ? m_data->m_derivedType : s_typeVoid; }
    /// The script-readable name of GetDerivedType().
    std::wstring GetDerivedTypeName() const { return GetDerivedType().GetName(); }
    /// The declared type with its storage: T, `const T*` or `boost::shared_ptr<T>`.
    DataType GetDecoratedType() const { return m_data ? m_data->GetDecoratedType() : s_typeVoid; }
    /// The script-readable name of GetDecoratedType().
    std::wstring GetDecoratedTypeName() const { return GetDecoratedType().GetName(); }

    /// Overwrites the native value with `value` when this Value alone owns a copy of a T: made
    /// from the address of a T without `byReference` or `isConst`, its holder shared with no
    /// other Value. Returns false, changing nothing, otherwise. A caller that makes many values
    /// of one type, such as a script host filling argument vectors call after call, reuses one
    /// holder this way instead of making a new one each time.
    template <class T>
    bool OverwriteSoleCopy(const T& value) {
        // The derived type recorded at construction must stay right.
        static_assert(!std::is_polymorphic<T>::value, "only for types without a dynamic type");
        if (!m_data || (m_flags & ConstFlag) != 0 ||
            m_data->m_storageKind != Data::InstanceStorage ||
            &m_data->m_declaredType.GetTypeInfo() != &typeid(T) || m_data.use_count() != 1) {
            return false;
        }
        *static_cast<T*>(m_data->GetValuePtr()) = value;
        return true;
    }

    /// "[Value @ 0x<address of this Value>]"; unless `brief`, followed by ": <Empty>" or by
    /// ": Type=... DerivedType=... C:c O:o V:v ISP:s Ptr:p".
    std::wstring Dump(bool brief) const;

    /// Checks that `value` can be read as `wanted`: not null and not empty (message 0xED0004),
    /// a non-null native pointer when required (0xED000D), declared type equal to `wanted`
    /// (0xED0005). Throws ScriptException.
    static void CheckCastParameters(const Value* value, const DataType& wanted,
                                    bool requireNonNull);
    /// Throws message 0xED0006 when a native class cast turned a non-null pointer into null.
    static void CheckCastResult(const void* before, const void* after, const DataType& from,
                                const DataType& to, const Value& value);
    /// `value` itself when its declared type is `wanted`; otherwise `scratch` after converting a
    /// copy of `value` to `wanted` (throws message 0xED0003 when no conversion exists).
    static const Value* ConvertForCastIfNecessary(const Value& value, Value& scratch,
                                                  const DataType& wanted);

private:
    static constexpr unsigned int ConstFlag = 0x1;
    static constexpr unsigned int ObjectFlag = 0x2;
    static constexpr unsigned int VectorFlag = 0x4;
    static constexpr unsigned int MapFlag = 0x8;
    static constexpr unsigned int NumberFlag = 0x10;
    static constexpr unsigned int SmartPointerFlag = 0x20;

    /// IObject and its derived interfaces: IObject, vector and map as the type says, never const.
    /// Other types: const as asked, number for the number types.
    template <class T>
    static unsigned int AddressFlags(bool isConst) {
        if constexpr (Detail::IsObjectType<T>::value) {
            return ObjectFlag | (std::is_base_of<IArray, T>::value ? VectorFlag : 0u) |
                   (std::is_base_of<IHash, T>::value ? MapFlag : 0u);
        } else {
            return (isConst ? ConstFlag : 0u) | (Detail::IsNumberType<T>::value ? NumberFlag : 0u);
        }
    }

    /// IObjects are always referred to; other values are copied unless asked for a reference.
    template <class T>
    static BOOST_FORCEINLINE boost::shared_ptr<Data> AddressHolder(const T* address,
                                                                   bool byReference) {
        if constexpr (!Detail::IsObjectType<T>::value) {
            if (!byReference) {
                return Detail::MakeShared<TypedInstanceData<T>>(*address);
            }
        } else {
            (void)byReference;
        }
        return Detail::MakeShared<TypedInstancePointerData<T>>(address);
    }

    unsigned int m_flags : 6;
    boost::shared_ptr<Data> m_data;
};

/// Reads `value` as a T without converting: checks it with Value::CheckCastParameters and
/// returns the address of the native value (null only when `requireNonNull` is false).
/// A value held through a shared pointer is read with its pointee type.
template <class T>
T* CastTo(const Value* value, bool requireNonNull) {
    // The usual case, a value made as a T, passes every check and needs no call: the same
    // type_info means the same run-time name.
    if (value != nullptr && !value->IsEmpty() && &value->GetType().GetTypeInfo() == &typeid(T)) {
        void* const pointer = value->GetValuePtr();
        if (pointer != nullptr || !requireNonNull) {
            return static_cast<T*>(pointer);
        }
    }
    Value::CheckCastParameters(value, DataType(typeid(T)), requireNonNull);
    return static_cast<T*>(value->GetValuePtr());
}

/// Makes default values for types named by their DataType. The library registers creators for
/// int and double (a new shared 0 each time); application modules add their own.
class VELMORAND_API ValueFactory {
public:
    /// Makes a new default value of one type.
    typedef Value (*Creator)();

    /// A factory without creators (the process-wide one is GetFactory()).
    ValueFactory();
    /// Copies the creators of `other`.
    ValueFactory(const ValueFactory& other);
    /// Replaces the creators by those of `other`.
    ValueFactory& operator=(const ValueFactory& other);
    ~ValueFactory();

    /// The process-wide factory.
    static ValueFactory& GetFactory();

    /// False, keeping the registered creator, when the type already has one.
    bool AddCreator(const DataType& type, Creator creator);
    /// True when a creator was removed.
    bool RemoveCreator(const DataType& type);
    /// A new value from the type's creator, or an empty value when the type has none.
    Value CreateObject(const DataType& type) const;

private:
    std::map<DataType, Creator> m_creators;
};

}  // namespace VelmorandScript
