#pragma once

// The function descriptors of the typed registration (Registration.h): a Function whose Invoke
// reads the C++ parameters from the argument Values, calls the bound C++ function and writes
// its result and outputs back, with the library's texts for every failure.

#include <VelmorandScript/TypedCall.h>
#include <VelmorandScript/detail/RegistrationTypes.h>

#include <boost/make_shared.hpp>

#include <cstddef>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace VelmorandScript {
namespace Detail {

/// The frame an argument error of a bound function names: numbered arguments, and the function
/// as "Class::Function".
class BoundCall : public IScriptCall {
public:
    BoundCall(std::wstring className, std::wstring functionName)
        : m_className(std::move(className)), m_functionName(std::move(functionName)) {}
    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return m_className; }
    std::wstring GetCalledFunctionName() const override {
        return m_className + L"::" + m_functionName;
    }

private:
    std::wstring m_className;
    std::wstring m_functionName;
};

class BoundFunction : public Function {
public:
    /// Runs the bound C++ function on the object and the argument Values.
    typedef std::function<void(const BoundFunction& function, const Value& object,
                               std::vector<Value>& arguments)>
        Body;

    BoundFunction(const wchar_t* name, const wchar_t* owningClassName,
                  const wchar_t* introducingModuleName, bool isConst, int style, Body body)
        : Function(name, owningClassName, introducingModuleName, isConst, style),
          m_body(std::move(body)) {}
    BoundFunction(const BoundFunction&) = delete;
    BoundFunction& operator=(const BoundFunction&) = delete;

    const std::vector<Argument>& GetArguments() const override { return m_arguments; }
    void AddArgument(const Argument& argument) override {
        Function::AddArgument(argument);
        m_arguments.push_back(argument);
    }

    void Invoke(const Value& object, std::vector<Value>& arguments) const override {
        if (!m_problem.empty()) {
            throw ScriptException(m_problem);  // described wrongly: Check reports it too
        }
        if (arguments.size() < m_arguments.size()) {
            arguments.resize(m_arguments.size());
        }
        Guarded([&] { m_body(*this, object, arguments); });
    }

    /// Runs the call `run`; a std::exception of the native code becomes the library's text
    /// naming the function, as for every call of it.
    template <class Run>
    void Guarded(const Run& run) const {
        try {
            run();
        } catch (const ScriptException&) {
            throw;  // the library's texts, the host's own errors, aborts and cancels
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            RaiseTableMessage(Messages::CallingFunction, QualifiedName(),
                              Common::ToWString(error.what()));
        }
    }

    /// Offers `entry`, which calls the same C++ function, to hosts (unless the function was
    /// described wrongly).
    void SetTyped(std::unique_ptr<const TypedEntry> entry) {
        m_typed = std::move(entry);
        SetTypedEntry(m_problem.empty() ? m_typed.get() : nullptr);
    }

    /// Names the classes of class-typed arguments by their registered script names (once), and
    /// reports what the registration got wrong.
    void Check(const Class* owner, const FunctionTable* table) const override {
        Function::Check(owner, table);
        if (!m_problem.empty()) {
            throw ScriptException(m_problem);
        }
        // Checks run while registering, on one thread. A check that failed (a class not yet
        // registered) names the classes again next time.
        if (!m_named) {
            NameClasses();
            m_named = true;
        }
    }

    /// Adds an argument whose script type is the script name of the class registered for the
    /// type `probe` declares, once the function is checked; until then, its native name.
    void AddClassArgument(const Argument& argument, Value (*probe)(), bool mustBeRegistered) {
        m_unnamed.push_back(Unnamed{m_arguments.size(), probe, mustBeRegistered});
        AddArgument(argument);
    }
    /// Names the return slot (the last argument) `scriptType` for good.
    void NameResult(const wchar_t* scriptType) {
        Argument& result = m_arguments.back();
        result = Argument(result.GetType(), scriptType, result.GetName(), result.GetStyle(),
                          result.GetDefaultValue(), result.GetScriptDefaultValue());
        if (!m_unnamed.empty() && m_unnamed.back().slot == m_arguments.size() - 1) {
            m_unnamed.pop_back();
        }
    }
    /// Remembers a registration error; Check throws it.
    void SetProblem(std::wstring problem) {
        if (m_problem.empty()) {
            m_problem = std::move(problem);
        }
        SetTypedEntry(nullptr);  // every call reports the problem
    }

    /// Throws the library's argument error for the argument at `slot`, numbered as the script
    /// counts its arguments.
    [[noreturn]] void RaiseArgumentError(std::size_t slot, const std::wstring& message) const {
        unsigned int number = 0;
        for (std::size_t i = 0; i < slot && i < m_arguments.size(); ++i) {
            if (IsScriptInput(m_arguments[i])) {
                ++number;
            }
        }
        const BoundCall call(TextOf(GetOwningClassName()), TextOf(GetName()));
        GenerateArgumentError(
            message, &call, number,
            slot < m_arguments.size() ? TextOf(m_arguments[slot].GetName()) : std::wstring());
    }

    /// Throws message 0xED0008 when `object` is null: called on an object of another class.
    void RequireObject(const void* object, const Value& value, const DataType& expected) const {
        CheckNonNullObject(object, value, expected);
    }

    std::wstring QualifiedName() const {
        return TextOf(GetOwningClassName()) + L"::" + TextOf(GetName());
    }

private:
    struct Unnamed {
        std::size_t slot;
        Value (*probe)();
        bool mustBeRegistered;
    };

    static std::wstring TextOf(const wchar_t* text) { return text != nullptr ? text : L""; }
    static bool IsScriptInput(const Argument& argument) {
        const long style = argument.GetStyle();
        return argument.GetType() != DataType(typeid(IScriptContext)) &&
               (style & ReturnArgument) == 0 &&
               ((style & InputArgument) != 0 || (style & OutputArgument) == 0);
    }

    void NameClasses() const {
        for (const Unnamed& unnamed : m_unnamed) {
            Argument& argument = m_arguments[unnamed.slot];
            const boost::shared_ptr<Class> named =
                ClassRegistry::GetInstance().FindClassByCppType(unnamed.probe());
            if (named) {
                argument = Argument(argument.GetType(), named->GetScriptName(), argument.GetName(),
                                    argument.GetStyle(), argument.GetDefaultValue(),
                                    argument.GetScriptDefaultValue());
            } else if (unnamed.mustBeRegistered) {
                RaiseTableMessage(Messages::UnregisteredArgumentClass, TextOf(GetOwningClassName()),
                                  TextOf(GetName()), TextOf(argument.GetName()),
                                  argument.GetType().GetName());
            }
        }
    }

    /// The descriptors as the host and the listings see them; the names of classes are filled
    /// in by the first Check, before scripts run.
    mutable std::vector<Argument> m_arguments;
    std::vector<Unnamed> m_unnamed;
    std::wstring m_problem;
    mutable bool m_named = false;
    Body m_body;
    std::unique_ptr<const TypedEntry> m_typed;
};

/// A function bound with NonOwning.
template <class F>
struct NonOwningCall {
    F function;
};

enum class ParameterKind { Input, Output, Context };

/// How one C++ parameter of type P is described, read and written back.
template <class P, class = void>
struct ParameterTraits {
    typedef Bare<P> Type;
    static_assert(!std::is_pointer<Type>::value ||
                      std::is_class<std::remove_pointer_t<Type>>::value,
                  "VelmorandScript: a pointer parameter must point to a registered class");
    static_assert(std::is_pointer<Type>::value || IsPlainValue<Type> || IsObjectClass<Type> ||
                      SharedPointerTraits<Type>::value || IsArrayType<Type> || IsHashType<Type> ||
                      std::is_same<Type, IScriptContext>::value,
                  "VelmorandScript: unsupported parameter type; use a number type (long, "
                  "unsigned long, int, unsigned int, double, float, bool, unsigned char, char), "
                  "std::wstring, std::string, std::vector, Value, IArray, IHash, IScriptContext&, "
                  "or a registered class by reference, pointer or boost::shared_ptr");

    static constexpr bool isPointer = std::is_pointer<Type>::value;
    typedef std::remove_cv_t<std::remove_pointer_t<Type>> Pointee;
    static constexpr bool isMutableReference =
        std::is_lvalue_reference<P>::value && !std::is_const<std::remove_reference_t<P>>::value;

    static constexpr ParameterKind kind =
        std::is_same<Type, IScriptContext>::value    ? ParameterKind::Context
        : (isMutableReference && IsPlainValue<Type>) ? ParameterKind::Output
                                                     : ParameterKind::Input;

    /// Objects are held by pointer, plain values and shared pointers by value.
    static constexpr bool heldByPointer =
        isPointer || (!IsPlainValue<Type> && !SharedPointerTraits<Type>::value);
    typedef std::conditional_t<heldByPointer, Pointee*, Type> Holder;

    /// Objects that must be of a registered class: passed by non-const reference, pointer or
    /// shared pointer.
    static constexpr bool passesObject = (isPointer || SharedPointerTraits<Type>::value ||
                                          (isMutableReference && !IsPlainValue<Type>)) &&
                                         !IsArrayType<Pointee> && !IsHashType<Pointee> &&
                                         !std::is_same<Type, IScriptContext>::value;

    static DataType DescriptorDataType() {
        return DescriptorType<std::conditional_t<isPointer, Pointee, Type>>();
    }
    static const wchar_t* ScriptType() {
        return FixedScriptType<std::conditional_t<isPointer, Pointee, Type>>();
    }
    /// A probe of the class whose script name names the parameter.
    static Value Probe() {
        if constexpr (SharedPointerTraits<Type>::value) {
            return TypeProbe<typename SharedPointerTraits<Type>::Element>();
        } else {
            return TypeProbe<Pointee>();
        }
    }

    static Holder Read(const Value& value) {
        if constexpr (kind == ParameterKind::Output) {
            return Holder();
        } else if constexpr (kind == ParameterKind::Context) {
            return CastTo<IScriptContext>(&value, true);
        } else if constexpr (isPointer) {
            if constexpr (IsArrayType<Pointee> || IsHashType<Pointee>) {
                return value.IsEmpty() ? nullptr : CastTo<Pointee>(&value, false);
            } else {
                return ObjectOf<Pointee>(value, false);
            }
        } else if constexpr (SharedPointerTraits<Type>::value) {
            return SharedObjectOf<typename SharedPointerTraits<Type>::Element>(value, false);
        } else if constexpr (IsArrayType<Type> || IsHashType<Type>) {
            return CastTo<Pointee>(&value, true);
        } else if constexpr (heldByPointer) {
            return ObjectOf<Pointee>(value, true);
        } else {
            return ReadValue<Type>(value);
        }
    }

    /// The argument as the C++ function takes it. By-value objects are copied from the object
    /// the argument presents, never moved out of it.
    static decltype(auto) Pass(Holder& holder) {
        if constexpr (isPointer) {
            return static_cast<P>(holder);
        } else if constexpr (heldByPointer) {
            if constexpr (std::is_reference<P>::value) {
                return static_cast<P>(*holder);
            } else {
                return static_cast<const Type&>(*holder);
            }
        } else {
            return std::forward<P>(holder);
        }
    }

    static void WriteBack(Holder& holder, Value& slot) {
        if constexpr (kind == ParameterKind::Output) {
            slot = MakeValue(holder);
        } else {
            (void)holder;
            (void)slot;
        }
    }
};

/// How a result of type R becomes the Value of the return slot; `nonOwning` lets a reference
/// or pointer result through as a reference to the object.
template <class R, bool nonOwning>
struct ResultTraits {
    typedef Bare<R> Type;
    static constexpr bool isPointer = std::is_pointer<Type>::value;
    static constexpr bool isReference = std::is_lvalue_reference<R>::value;
    static constexpr bool refers =
        isPointer || (isReference && !std::is_const<std::remove_reference_t<R>>::value);
    typedef std::remove_cv_t<std::remove_pointer_t<Type>> Pointee;
    static_assert(!refers || nonOwning,
                  "VelmorandScript: a function that returns a reference or pointer must be bound "
                  "with NonOwning(...), which hands the script a reference that must not outlive "
                  "the object; or return a boost::shared_ptr or a copy");

    static DataType DescriptorDataType() {
        if constexpr (std::is_void<R>::value) {
            return DataType(typeid(void));
        } else {
            return DescriptorType<std::conditional_t<isPointer, Pointee, Type>>();
        }
    }
    static const wchar_t* ScriptType() {
        if constexpr (std::is_void<R>::value) {
            return L"void";
        } else {
            return FixedScriptType<std::conditional_t<isPointer, Pointee, Type>>();
        }
    }
    static constexpr bool passesObject = (refers || SharedPointerTraits<Type>::value) &&
                                         !IsArrayType<Pointee> && !IsHashType<Pointee>;
    static Value Probe() {
        if constexpr (SharedPointerTraits<Type>::value) {
            return TypeProbe<typename SharedPointerTraits<Type>::Element>();
        } else {
            return TypeProbe<Pointee>();
        }
    }

    template <class Result>
    static Value ToValue(Result&& result) {
        if constexpr (refers) {
            const Pointee* object;
            if constexpr (isPointer) {
                object = result;
            } else {
                object = &result;
            }
            if (object == nullptr) {
                return Value();
            }
            if constexpr (IsObjectClass<Pointee>) {
                return Value(static_cast<const SharedType<Pointee>*>(object), true);
            } else {
                return Value(object, true);
            }
        } else {
            return MakeValue<Type>(result);
        }
    }
};

/// Reads the parameter at `slot`; a failure becomes the library's argument error.
template <class P>
typename ParameterTraits<P>::Holder ReadParameter(const BoundFunction& function,
                                                  const std::vector<Value>& slots,
                                                  std::size_t slot) {
    try {
        return ParameterTraits<P>::Read(slots[slot]);
    } catch (const ScriptException& error) {
        function.RaiseArgumentError(slot, error.GetExceptionMessage());
    }
}

/// Reads every parameter, calls `call` with them, and fills the return slot and the outputs.
template <class R, bool nonOwning, class... P, class Call, std::size_t... I>
void CallBound(const BoundFunction& function, std::vector<Value>& slots, Call&& call,
               std::index_sequence<I...>) {
    // A braced list is evaluated in order: the first bad argument is the one reported.
    std::tuple<typename ParameterTraits<P>::Holder...> holders{
        ReadParameter<P>(function, slots, I)...};
    (void)function;
    constexpr std::size_t resultSlot = sizeof...(P);
    if constexpr (std::is_void<R>::value) {
        call(ParameterTraits<P>::Pass(std::get<I>(holders))...);
    } else {
        slots[resultSlot] = ResultTraits<R, nonOwning>::ToValue(
            call(ParameterTraits<P>::Pass(std::get<I>(holders))...));
    }
    (ParameterTraits<P>::WriteBack(std::get<I>(holders), slots[I]), ...);
}

/// The object an instance function runs on, as the Self parameter takes it (a reference or a
/// pointer to the class, or to the IArray or IHash a collection class describes).
template <class Self>
decltype(auto) SelfOf(const BoundFunction& function, const Value& object) {
    typedef std::remove_cv_t<std::remove_pointer_t<Bare<Self>>> C;
    // Collections travel as their interface, so ObjectOf reads them as it reads any class.
    static_assert(IsObjectClass<C> || IsArrayType<C> || IsHashType<C>,
                  "VelmorandScript: the first parameter of a method bound as a function must be "
                  "the object: a reference or pointer to the class");
    C* self = nullptr;
    try {
        self = ObjectOf<C>(object, true);
    } catch (const ScriptException&) {
        function.RequireObject(nullptr, object, DataType(typeid(C)));
    }
    if constexpr (std::is_pointer<Bare<Self>>::value) {
        return static_cast<Self>(self);
    } else {
        return static_cast<Self>(*self);
    }
}

/// The parts of a C++ callable's signature.
template <class R, class Self, bool isConst, class... P>
struct Signature {
    typedef R Result;
    /// The type the object is passed as (C& or const C&), or void for a free function.
    typedef Self Object;
    static constexpr bool constObject = isConst;
};

template <class F, class = void>
struct SignatureOf {
    static_assert(AlwaysFalse<F>::value,
                  "VelmorandScript: cannot bind this; bind a member function, a data member, a "
                  "function or a lambda (overloads: pick one with a cast)");
};
template <class R, class... P>
struct SignatureOf<R (*)(P...)> {
    typedef Signature<R, void, false, P...> type;
};
template <class R, class... P>
struct SignatureOf<R (*)(P...) noexcept> : SignatureOf<R (*)(P...)> {};
template <class R, class C, class... P>
struct SignatureOf<R (C::*)(P...)> {
    typedef Signature<R, C&, false, P...> type;
};
template <class R, class C, class... P>
struct SignatureOf<R (C::*)(P...) const> {
    typedef Signature<R, const C&, true, P...> type;
};
template <class R, class C, class... P>
struct SignatureOf<R (C::*)(P...) noexcept> : SignatureOf<R (C::*)(P...)> {};
template <class R, class C, class... P>
struct SignatureOf<R (C::*)(P...) const noexcept> : SignatureOf<R (C::*)(P...) const> {};
/// A data member, read as a property.
template <class M, class C>
struct SignatureOf<M C::*, std::enable_if_t<!std::is_function<M>::value>> {
    typedef Signature<const M&, const C&, true> type;
};
/// A lambda or function object: the signature of its call operator, without its own class.
template <class F>
struct SignatureOf<F, std::void_t<decltype(&F::operator())>> {
    template <class S>
    struct Free;
    template <class R, class Self, bool isConst, class... P>
    struct Free<Signature<R, Self, isConst, P...>> {
        typedef Signature<R, void, false, P...> type;
    };
    typedef typename Free<typename SignatureOf<decltype(&F::operator())>::type>::type type;
};

/// A signature whose first parameter becomes the object: a lambda or function bound as a
/// method, with an explicit self parameter.
template <class S>
struct WithObject {
    typedef S type;
};
template <class R, class First, class... P>
struct WithObject<Signature<R, void, false, First, P...>> {
    typedef Signature<
        R, First, std::is_const<std::remove_pointer_t<std::remove_reference_t<First>>>::value, P...>
        type;
};

}  // namespace Detail
}  // namespace VelmorandScript
