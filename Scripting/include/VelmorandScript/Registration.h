#pragma once

/// @file
/// Typed registration: a class described in one line per member, the argument descriptors
/// deduced from the C++ signatures.
///
///     using namespace VelmorandScript;
///     ClassBuilder<Circle>(L"Shapes::Circle", L"Shapes")
///         .Base(L"Shapes::Shape")
///         .Constructor<double, std::wstring>({L"radius", Default(L"name", L"circle")})
///         .Property(L"Radius", &Circle::GetRadius, &Circle::SetRadius)
///         .ReadOnly(L"Area", &Circle::Area)
///         .Method(L"Move", &Circle::Move, {L"dx", Default(L"dy", 0.0)})
///         .Static(L"Unit", [] { return boost::make_shared<Circle>(1.0, L"unit"); })
///         .Renamed(L"Description", L"Describe")
///         .Register();
///
/// Everything the builder makes is an ordinary descriptor of Classes.h (a Class, Functions with
/// their Arguments, DeprecatedFunctions): hosts call it and listings show it exactly as they
/// would the same class described by hand.
///
/// **Types.** Parameters and results may be the number types (long, unsigned long, int,
/// unsigned int, double, float, bool, unsigned char, char), `std::wstring` and UTF-8
/// `std::string` (script type "String"), `std::vector` of any of these or of objects (an
/// Array), `Value` (any script value, boxed as the host passes it), `IArray` and `IHash` (the
/// script's own tables, changed in place), `IScriptContext&` (the running script, supplied by
/// the host, not by the script), and classes: a registered class by reference, pointer or
/// `boost::shared_ptr` (named in scripts by its registered script name, looked up when the
/// registry checks its classes, so the order of registration does not matter), or any class by
/// value or const reference (a value-like struct that conversions carry, named by
/// ScriptTypeName). A result may also be `std::optional` of a number or a text (nil when
/// empty), or a `boost::shared_ptr` to a (const) IArray or IHash. Anything else is a compile
/// error.
///
/// **Collections.** `ClassBuilder<IArray>` (or IHash) describes the script class of a collection
/// interface: its methods take the object as `IArray&` or `const IArray&`.
///
/// **Directions.** By value and `const&` are inputs; a non-const `&` to a number, bool, text,
/// vector or Value is an output, which the script receives after the result
/// (`local w, h = r:GetSize()`); a reference or pointer to a class is an object passed in.
///
/// **Ownership.** Objects made by Constructor are held by `boost::shared_ptr`. A result of type
/// `boost::shared_ptr<T>` shares the object with the script; a result by value or `const&` gives
/// the script its own copy. A result of non-const reference or pointer type does not compile
/// unless the function is bound with NonOwning: the script then receives a reference to the
/// object, which must outlive every script value that refers to it.
///
/// **Errors.** A `std::exception` thrown by a bound function reaches the script as "calling
/// Class::Function: <what()>"; ScriptExceptions pass unchanged. Registration errors that the
/// compiler cannot see (a parameter name missing, an object parameter of a class nobody
/// registered) are thrown by `ClassRegistry::CheckClasses`, naming the class and the function.
///
/// Texts (class, module and function names) are kept as pointers: pass string literals.

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/Values.h>
#include <VelmorandScript/detail/BoundFunction.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <initializer_list>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace VelmorandScript {

/// The type whose Values carry objects of class T to scripts: every object of a class hierarchy
/// must travel as one type, so that an object of a derived class fits every parameter of a base
/// class. By default that is the class named in `boost::enable_shared_from_this<B>` when T
/// derives from it, and T itself otherwise. Specialise it for another hierarchy:
///
///     template <> struct VelmorandScript::SharedAs<Square> { typedef Shape type; };
///
/// The type must be a base of T, and polymorphic when it is not T itself.
template <class T, class Enable = void>
struct SharedAs {
    /// The type objects of T travel as.
    typedef typename Detail::DefaultSharedAs<T>::type type;
};

/// The script type name of a class that is no registered class but travels by value through
/// conversions (a colour converted from and to text, say). Without it such a class is named by
/// its C++ name. Specialise it with a `value`:
///
///     template <> struct VelmorandScript::ScriptTypeName<Color> {
///         static constexpr const wchar_t* value = L"Color";
///     };
template <class T, class Enable = void>
struct ScriptTypeName {};

/// How a script knows one parameter: its name, and optionally a default value, the default as
/// scripts would write it, and a script type name other than the deduced one. Plain texts
/// convert to it: `{L"dx", L"dy"}`.
class Parameter {
public:
    /// A required parameter named `name`.
    Parameter(const wchar_t* name)  // not explicit: a plain text names a parameter
        : m_name(name), m_scriptType(nullptr), m_scriptDefault(nullptr), m_optional(false) {}

    /// The parameter becomes optional with `defaultValue` (empty: the value factory's value for
    /// the type) and `scriptDefault`, its text in listings (may be null).
    Parameter& WithDefault(Value defaultValue, const wchar_t* scriptDefault) {
        m_default = std::move(defaultValue);
        m_scriptDefault = scriptDefault;
        m_optional = true;
        return *this;
    }
    /// Names the parameter's type in scripts `scriptType` instead of the deduced name.
    Parameter& WithScriptType(const wchar_t* scriptType) {
        m_scriptType = scriptType;
        return *this;
    }

    /// The name scripts and errors know the parameter by.
    const wchar_t* GetName() const { return m_name; }
    /// The script type name given, or null for the deduced one.
    const wchar_t* GetScriptType() const { return m_scriptType; }
    /// The default value; empty when none was given.
    const Value& GetDefaultValue() const { return m_default; }
    /// The default as scripts would write it (may be null).
    const wchar_t* GetScriptDefault() const { return m_scriptDefault; }
    /// Whether a script may leave the parameter out.
    bool IsOptional() const { return m_optional; }

private:
    const wchar_t* m_name;
    const wchar_t* m_scriptType;
    Value m_default;
    const wchar_t* m_scriptDefault;
    bool m_optional;
};

/// An optional parameter whose default is `value`. `scriptDefault` is the default as listings
/// show it; by default a text in quotes, a number as written, or true/false.
template <class T>
Parameter Default(const wchar_t* name, const T& value, const wchar_t* scriptDefault = nullptr) {
    if constexpr (std::is_convertible<T, const wchar_t*>::value) {
        return Default(name, std::wstring(value), scriptDefault);
    } else if constexpr (std::is_same<T, std::string>::value) {
        return Default(name, Common::ToWString(value), scriptDefault);
    } else {
        if (scriptDefault == nullptr) {
            std::wostringstream text;
            if constexpr (std::is_same<T, std::wstring>::value) {
                text << L'"' << value << L'"';
            } else if constexpr (std::is_same<T, bool>::value) {
                text << (value ? L"true" : L"false");
            } else if constexpr (std::is_arithmetic<T>::value) {
                text << +value;
            }
            scriptDefault = Detail::KeepText(text.str());
        }
        return Parameter(name).WithDefault(Value(&value), scriptDefault);
    }
}

/// An optional parameter without a default value of its own: the host takes the value factory's
/// value for the type. `scriptDefault` says in listings what that is.
inline Parameter Optional(const wchar_t* name, const wchar_t* scriptDefault) {
    return Parameter(name).WithDefault(Value(), scriptDefault);
}

/// A parameter whose type scripts know as `scriptType` (a callback `Value` as "function", say).
inline Parameter Typed(const wchar_t* name, const wchar_t* scriptType) {
    return Parameter(name).WithScriptType(scriptType);
}

/// Lets a function that returns a reference or a pointer be bound: the script receives a
/// reference to the object, not a copy and no share in it. The object must outlive every script
/// value that refers to it (an object owned by the object the function is called on does not,
/// once the script drops that one); a null pointer reaches the script as nil.
template <class F>
Detail::NonOwningCall<F> NonOwning(F function) {
    return Detail::NonOwningCall<F>{function};
}

}  // namespace VelmorandScript

#include <VelmorandScript/detail/Binder.h>

namespace VelmorandScript {

/// Describes the script class of the native class T, member by member, and registers it.
/// Every call adds to the description and returns the builder; Register (or Build) ends it.
template <class T>
class ClassBuilder {
public:
    /// The class `scriptName` of the application module `moduleName`.
    ClassBuilder(const wchar_t* scriptName, const wchar_t* moduleName)
        : m_scriptName(scriptName), m_moduleName(moduleName), m_baseScriptName(nullptr) {}

    /// The script name of the base class, whose functions the class inherits.
    ClassBuilder& Base(const wchar_t* baseScriptName) {
        m_baseScriptName = baseScriptName;
        return *this;
    }

    /// A constructor, `Shapes.Circle.new(...)`, that makes a T from the parameters Args with
    /// `boost::make_shared` and shares it with the script. Its name is the last part of the
    /// script name (`Circle`).
    template <class... Args>
    ClassBuilder& Constructor(std::initializer_list<Parameter> names = {}) {
        return Constructor(
            [](Args... arguments) {
                return boost::make_shared<T>(std::forward<Args>(arguments)...);
            },
            names);
    }
    /// A constructor that runs `factory`, which returns a `boost::shared_ptr` to the new object
    /// (or the object by value, which the script then receives a copy of).
    template <class F>
    ClassBuilder& Constructor(F factory, std::initializer_list<Parameter> names = {}) {
        std::wstring name = m_scriptName;
        const std::size_t separator = name.rfind(L"::");
        if (separator != std::wstring::npos) {
            name.erase(0, separator + 2);
        }
        // The result is an object of this very class, whatever type the factory returns.
        Add<false>(Detail::KeepText(name), ConstructorStyle, false, factory, names)
            ->NameResult(m_scriptName);
        return *this;
    }

    /// A read-write property: `getter` takes the object and returns the value; `setter` takes
    /// the object and the new value. Member functions, or functions and lambdas whose first
    /// parameter is the object.
    template <class Get, class Set>
    ClassBuilder& Property(const wchar_t* name, Get getter, Set setter) {
        ReadOnly(name, getter);
        Add<true>(name, PropertySetStyle, false, setter, {Detail::SetterParameterName(name)});
        return *this;
    }
    /// A read-write property over a data member (`&Circle::radius`); read-only when the member
    /// is const.
    template <class M, class C>
    ClassBuilder& Property(const wchar_t* name, M C::*member) {
        ReadOnly(name, [member](const C& object) -> const M& { return object.*member; });
        if constexpr (!std::is_const<M>::value) {
            Add<true>(name, PropertySetStyle, false,
                      [member](C& object, const M& value) { object.*member = value; },
                      {Detail::SetterParameterName(name)});
        }
        return *this;
    }
    /// A read-only property: `getter` takes the object and returns the value.
    template <class Get>
    ClassBuilder& ReadOnly(const wchar_t* name, Get getter) {
        Add<true>(name, PropertyGetStyle, true, getter, {});
        return *this;
    }

    /// A method, `obj:F(...)`: a member function, or a function or lambda whose first parameter
    /// is the object. A method that returns nothing and has no outputs is a command. `names`
    /// names the parameters the script passes (not the context), in order.
    template <class F>
    ClassBuilder& Method(const wchar_t* name, F function,
                         std::initializer_list<Parameter> names = {}) {
        Add<true>(name, 0, false, function, names);
        return *this;
    }
    /// A static function, `Shapes.Circle.F(...)`: a function or lambda without an object.
    template <class F>
    ClassBuilder& Static(const wchar_t* name, F function,
                         std::initializer_list<Parameter> names = {}) {
        Add<false>(name, StaticStyle, false, function, names);
        return *this;
    }

    /// `oldName` was renamed to `newName`: calls warn and run `newName`. It takes the style of
    /// the first function `newName` described so far (an instance function when there is none).
    ClassBuilder& Renamed(const wchar_t* oldName, const wchar_t* newName) {
        m_functions.push_back(boost::make_shared<DeprecatedRenamedFunction>(
            oldName, m_scriptName, m_moduleName, StyleOf(newName, InstanceStyle), newName));
        return *this;
    }
    /// `oldName` (a command unless `style` says otherwise) was replaced by the functions
    /// `replacements` names, which are not call-compatible: calls fail with a text that names
    /// them.
    ClassBuilder& Replaced(const wchar_t* oldName, const wchar_t* replacements,
                           int style = CommandStyle) {
        m_functions.push_back(boost::make_shared<DeprecatedReplacedFunction>(
            oldName, m_scriptName, m_moduleName, style, replacements));
        return *this;
    }
    /// `oldName` (a command unless `style` says otherwise) was removed: calls fail with a text
    /// that says so.
    ClassBuilder& Removed(const wchar_t* oldName, int style = CommandStyle) {
        m_functions.push_back(boost::make_shared<DeprecatedRemovedFunction>(
            oldName, m_scriptName, m_moduleName, style, L""));
        return *this;
    }

    /// The class with every function described, not registered. `C` is the Class made: a class
    /// derived from Class, with the constructor arguments of Class, for a module whose class
    /// makes wrappers of its own (CreateWrapper).
    template <class C = Class>
    boost::shared_ptr<C> Build() const {
        static_assert(std::is_base_of<Class, C>::value, "VelmorandScript: Build makes a Class");
        auto built = boost::make_shared<C>(DataType(typeid(T)), m_scriptName, m_baseScriptName,
                                           m_moduleName, false);
        for (const boost::shared_ptr<IFunction>& function : m_functions) {
            built->AddFunction(function);
        }
        return built;
    }
    /// Builds the class and registers it with the ClassRegistry.
    boost::shared_ptr<Class> Register() const {
        boost::shared_ptr<Class> built = Build();
        ClassRegistry::GetInstance().AddClass(built);
        return built;
    }

private:
    int StyleOf(const wchar_t* name, int otherwise) const {
        for (const boost::shared_ptr<IFunction>& function : m_functions) {
            if (std::wstring(function->GetName()) == name) {
                return static_cast<int>(function->GetStyle());
            }
        }
        return otherwise;
    }

    /// Describes `function` and adds it; `withObject`: its first parameter is the object, unless
    /// it is a member function.
    template <bool withObject, class F>
    boost::shared_ptr<Detail::BoundFunction> Add(const wchar_t* name, int style, bool isConst,
                                                 const F& function,
                                                 std::initializer_list<Parameter> names) {
        typedef Detail::SignatureOfBound<F> Plain;
        typedef std::conditional_t<withObject, typename Detail::WithObject<Plain>::type, Plain>
            Described;
        boost::shared_ptr<Detail::BoundFunction> made = Detail::Binder<Described, F>::Make(
            name, m_scriptName, m_moduleName, style, isConst, function, names);
        m_functions.push_back(made);
        return made;
    }

    const wchar_t* m_scriptName;
    const wchar_t* m_moduleName;
    const wchar_t* m_baseScriptName;
    std::vector<boost::shared_ptr<IFunction>> m_functions;
};

}  // namespace VelmorandScript
