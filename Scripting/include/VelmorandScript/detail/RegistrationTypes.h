#pragma once

// How the typed registration (Registration.h) sees a C++ type: what it is to scripts, which
// DataType its descriptors carry, and how its values are read from and made into Values. Only
// Registration.h and the other detail headers of the typed registration use these.

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/Values.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace VelmorandScript {

template <class T, class Enable>
struct SharedAs;
template <class T, class Enable>
struct ScriptTypeName;

namespace Detail {

/// Deduces B from a class derived from boost::enable_shared_from_this<B>; never defined.
template <class B>
B* SharedBaseOf(const boost::enable_shared_from_this<B>*);

/// The type objects of T travel as, unless a module says otherwise: the Array and Hash
/// interfaces for collections, the class that names itself in `boost::enable_shared_from_this`
/// for a hierarchy that derives from it.
template <class T, class = void>
struct DefaultSharedAs {
    typedef T type;
};
template <class T>
struct DefaultSharedAs<
    T, std::enable_if_t<!std::is_base_of<IObject, T>::value,
                        std::void_t<decltype(SharedBaseOf(static_cast<const T*>(nullptr)))>>> {
    typedef std::remove_pointer_t<decltype(SharedBaseOf(static_cast<const T*>(nullptr)))> type;
};
template <class T>
struct DefaultSharedAs<T, std::enable_if_t<std::is_base_of<IArray, T>::value>> {
    typedef IArray type;
};
template <class T>
struct DefaultSharedAs<T, std::enable_if_t<std::is_base_of<IHash, T>::value>> {
    typedef IHash type;
};

template <class T>
using Bare = typename std::remove_cv<typename std::remove_reference<T>::type>::type;

/// Fails a static_assert only when instantiated, so that the message names the offending type.
template <class T>
struct AlwaysFalse : std::false_type {};

template <class T>
struct SharedPointerTraits : std::false_type {};
template <class T>
struct SharedPointerTraits<boost::shared_ptr<T>> : std::true_type {
    typedef T Element;
};

template <class T>
struct VectorTraits : std::false_type {};
template <class T, class Allocator>
struct VectorTraits<std::vector<T, Allocator>> : std::true_type {
    typedef T Element;
};

/// A result that may be missing: std::optional of a number or a text, nil to scripts when empty.
template <class T>
struct OptionalTraits : std::false_type {};
template <class T>
struct OptionalTraits<std::optional<T>> : std::true_type {
    typedef T Element;
};

template <class T>
constexpr bool IsText = std::is_same<T, std::wstring>::value || std::is_same<T, std::string>::value;

template <class T>
constexpr bool IsNumber = IsNumberType<T>::value&& std::is_same<T, Bare<T>>::value;

template <class T>
constexpr bool IsArrayType = std::is_base_of<IArray, T>::value;
template <class T>
constexpr bool IsHashType = std::is_base_of<IHash, T>::value;

/// Values a script passes and receives by value: they can be outputs.
template <class T>
constexpr bool IsPlainValue =
    IsNumber<T> || IsText<T> || VectorTraits<T>::value || std::is_same<T, Value>::value;

/// Classes whose objects travel as Values of their shared type: application classes, and
/// value-like structs that conversions turn into script values.
template <class T>
constexpr bool IsObjectClass =
    std::is_class<T>::value && !IsPlainValue<T> && !SharedPointerTraits<T>::value &&
    !OptionalTraits<T>::value && !std::is_same<T, IScriptContext>::value && !IsArrayType<T> &&
    !IsHashType<T>;

/// The script type name a module gave the type with ScriptTypeName, or null.
template <class T, class = void>
struct GivenScriptTypeName {
    static const wchar_t* Get() { return nullptr; }
};
template <class T>
struct GivenScriptTypeName<T, decltype(void(ScriptTypeName<T, void>::value))> {
    static const wchar_t* Get() { return ScriptTypeName<T, void>::value; }
};

template <class T>
using SharedType = typename SharedAs<T, void>::type;

/// Keeps a text for as long as the process lives, for descriptors, which keep texts as pointers.
inline const wchar_t* KeepText(const std::wstring& text) {
    static std::mutex* const lock = new std::mutex;
    // Never deleted: the descriptors that point into it are never deleted either.
    static std::set<std::wstring>* const texts = new std::set<std::wstring>;
    const std::lock_guard<std::mutex> guard(*lock);
    return texts->insert(text).first->c_str();
}

/// The message of the table with its placeholders filled by the texts, %1 first.
template <class... Texts>
std::wstring FormatTableMessage(unsigned int messageId, const Texts&... texts) {
    Common::CfxFormat format(messageId);
    ((format << texts), ...);
    return format.ToString();
}

/// Throws the message of the table with its placeholders filled, %1 first.
template <class... Texts>
[[noreturn]] void RaiseTableMessage(unsigned int messageId, const Texts&... texts) {
    throw ScriptException(FormatTableMessage(messageId, texts...));
}

/// The object of class C a Value presents: read as its shared type, then cast down to C.
/// Null only for an empty value or a null pointer when `required` is false.
template <class C>
C* ObjectOf(const Value& value, bool required) {
    typedef SharedType<C> Shared;
    if (!required && (value.IsEmpty() || value.GetValuePtr() == nullptr)) {
        return nullptr;
    }
    Shared* const shared = CastTo<Shared>(&value, true);
    if constexpr (std::is_base_of<C, Shared>::value) {
        return shared;
    } else {
        static_assert(std::is_polymorphic<Shared>::value,
                      "VelmorandScript: objects of this class travel as their SharedAs type, which "
                      "has no virtual functions: the class of an object cannot be checked");
        C* const object = dynamic_cast<C*>(shared);
        if (object == nullptr) {
            RaiseTableMessage(Messages::BadCast, value.GetDerivedTypeName(),
                              DataType(typeid(C)).GetName());
        }
        return object;
    }
}

/// A shared pointer to the object of class C that `value` presents. It shares ownership with
/// the value: the object lives as long as either does.
template <class C>
boost::shared_ptr<C> SharedObjectOf(const Value& value, bool required) {
    C* const object = ObjectOf<C>(value, required);
    if (object == nullptr) {
        return boost::shared_ptr<C>();
    }
    // The deleter keeps a copy of the value, and with it the holder that owns the object.
    struct KeepValue {
        Value kept;
        void operator()(C*) const {}
    };
    return boost::shared_ptr<C>(object, KeepValue{value});
}

template <class T>
Value MakeValue(const T& native);

/// An Array over a copy of the items, each item stored as a script receives it.
template <class E>
Value MakeArray(const std::vector<E>& items) {
    if constexpr (std::is_same<E, std::string>::value) {
        std::vector<std::wstring> texts;
        texts.reserve(items.size());
        for (const std::string& item : items) {
            texts.push_back(Common::ToWString(item));
        }
        return MakeArray(texts);
    } else if constexpr (SharedPointerTraits<E>::value) {
        // Objects are stored as their shared type, as every other Value carries them.
        typedef boost::shared_ptr<SharedType<typename SharedPointerTraits<E>::Element>> Stored;
        if constexpr (!std::is_same<E, Stored>::value) {
            return MakeArray(std::vector<Stored>(items.begin(), items.end()));
        } else {
            boost::shared_ptr<IArray> array = boost::make_shared<Array>(
                boost::make_shared<StdVector<E>>(boost::make_shared<std::vector<E>>(items)));
            return Value(array);
        }
    } else {
        boost::shared_ptr<IArray> array = boost::make_shared<Array>(
            boost::make_shared<StdVector<E>>(boost::make_shared<std::vector<E>>(items)));
        return Value(array);
    }
}

/// The Value a script receives for a native value: numbers and texts as copies (UTF-8 texts as
/// wide texts), vectors as Arrays, shared objects shared as their SharedAs type, other class
/// objects as copies.
template <class T>
Value MakeValue(const T& native) {
    if constexpr (std::is_same<T, Value>::value) {
        return native;
    } else if constexpr (std::is_same<T, std::string>::value) {
        const std::wstring text = Common::ToWString(native);
        return Value(&text);
    } else if constexpr (IsNumber<T> || std::is_same<T, std::wstring>::value) {
        return Value(&native);
    } else if constexpr (VectorTraits<T>::value) {
        return MakeArray(native);
    } else if constexpr (SharedPointerTraits<T>::value) {
        typedef typename SharedPointerTraits<T>::Element Element;
        if (!native) {
            return Value();
        }
        if constexpr (std::is_same<std::remove_cv_t<Element>, IArray>::value ||
                      std::is_same<std::remove_cv_t<Element>, IHash>::value) {
            // A collection travels as its interface, const or not, as hosts expect it.
            return Value(native);
        } else {
            return Value(boost::shared_ptr<SharedType<Element>>(native));
        }
    } else if constexpr (OptionalTraits<T>::value) {
        static_assert(IsNumber<typename OptionalTraits<T>::Element> ||
                          IsText<typename OptionalTraits<T>::Element>,
                      "VelmorandScript: an optional result must hold a number type or a text");
        return native ? MakeValue(*native) : Value();
    } else if constexpr (IsObjectClass<T>) {
        if constexpr (std::is_same<SharedType<T>, T>::value) {
            return Value(&native);
        } else {
            static_assert(std::is_copy_constructible<T>::value,
                          "VelmorandScript: a class object returned by value is copied for the "
                          "script, and this class cannot be copied; return a boost::shared_ptr");
            return Value(boost::shared_ptr<SharedType<T>>(boost::make_shared<T>(native)));
        }
    } else {
        static_assert(AlwaysFalse<T>::value,
                      "VelmorandScript: this type cannot be handed to scripts; use a number type, "
                      "bool, std::wstring, std::string, std::vector, Value, a registered class or "
                      "a boost::shared_ptr to one");
        return Value();
    }
}

/// A native T read from a Value that the host converted to the T's descriptor type.
template <class T>
T ReadValue(const Value& value) {
    if constexpr (std::is_same<T, Value>::value) {
        // The host boxes whatever the script passed into a Value holding a Value.
        return GetAs<Value>(value);
    } else if constexpr (std::is_same<T, std::string>::value) {
        return Common::ToUtf8(GetAs<std::wstring>(value));
    } else if constexpr (IsNumber<T> || std::is_same<T, std::wstring>::value) {
        return GetAs<T>(value);
    } else if constexpr (VectorTraits<T>::value) {
        typedef typename VectorTraits<T>::Element Element;
        const IArray& array = *CastTo<IArray>(&value, true);
        T items;
        const long count = array.Count();
        items.reserve(count > 0 ? static_cast<std::size_t>(count) : 0u);
        for (long i = 0; i < count; ++i) {
            const Value item = array.Item(i);
            if constexpr (std::is_same<Element, Value>::value) {
                // Items are the script's values themselves, not boxed.
                items.push_back(item);
            } else if constexpr (SharedPointerTraits<Element>::value) {
                items.push_back(
                    SharedObjectOf<typename SharedPointerTraits<Element>::Element>(item, true));
            } else {
                items.push_back(ReadValue<Element>(item));
            }
        }
        return items;
    } else if constexpr (IsObjectClass<T>) {
        return *ObjectOf<T>(value, true);
    } else {
        static_assert(AlwaysFalse<T>::value,
                      "VelmorandScript: this type cannot be read from scripts; use a number type, "
                      "bool, std::wstring, std::string, std::vector, Value, a registered class or "
                      "a boost::shared_ptr to one");
    }
}

/// The DataType and script type name of descriptors for values of T (T without cv or
/// reference). A null script type name stands for a class, named at check time by its
/// registered class.
template <class T>
DataType DescriptorType() {
    if constexpr (std::is_same<T, std::string>::value) {
        return DataType(typeid(std::wstring));
    } else if constexpr (VectorTraits<T>::value || IsArrayType<T>) {
        return DataType(typeid(IArray));
    } else if constexpr (IsHashType<T>) {
        return DataType(typeid(IHash));
    } else if constexpr (SharedPointerTraits<T>::value) {
        return DescriptorType<typename SharedPointerTraits<T>::Element>();
    } else if constexpr (OptionalTraits<T>::value) {
        return DescriptorType<typename OptionalTraits<T>::Element>();
    } else if constexpr (IsObjectClass<T>) {
        return DataType(typeid(SharedType<T>));
    } else {
        return DataType(typeid(T));
    }
}

template <class T>
const wchar_t* FixedScriptType() {
    if constexpr (std::is_same<T, long>::value) {
        return L"long";
    } else if constexpr (std::is_same<T, unsigned long>::value) {
        return L"unsigned long";
    } else if constexpr (std::is_same<T, int>::value) {
        return L"int";
    } else if constexpr (std::is_same<T, unsigned int>::value) {
        return L"unsigned int";
    } else if constexpr (std::is_same<T, double>::value) {
        return L"double";
    } else if constexpr (std::is_same<T, float>::value) {
        return L"float";
    } else if constexpr (std::is_same<T, bool>::value) {
        return L"bool";
    } else if constexpr (std::is_same<T, unsigned char>::value) {
        return L"unsigned char";
    } else if constexpr (std::is_same<T, char>::value) {
        return L"char";
    } else if constexpr (IsText<T>) {
        return L"String";
    } else if constexpr (std::is_same<T, Value>::value) {
        return L"any";
    } else if constexpr (VectorTraits<T>::value || IsArrayType<T>) {
        return L"VelmorandScript::Array";
    } else if constexpr (IsHashType<T>) {
        return L"VelmorandScript::IHash";
    } else if constexpr (SharedPointerTraits<T>::value) {
        return FixedScriptType<typename SharedPointerTraits<T>::Element>();
    } else if constexpr (OptionalTraits<T>::value) {
        return FixedScriptType<typename OptionalTraits<T>::Element>();
    } else {
        return GivenScriptTypeName<T>::Get();
    }
}

/// A Value of declared type T without an object, for finding the class registered for T.
template <class T>
Value TypeProbe() {
    // An empty shared pointer: no holder of a T is made, so abstract classes qualify.
    return Value(boost::shared_ptr<T>());
}

}  // namespace Detail
}  // namespace VelmorandScript
