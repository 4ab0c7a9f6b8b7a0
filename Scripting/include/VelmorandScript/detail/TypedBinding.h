#pragma once

// The typed entry (TypedCall.h) of a function bound by ClassBuilder: it reads the C++ parameters
// straight from the host's TypedArguments and hands plain results back unboxed. It exists only
// for signatures whose every parameter and result has a typed kind; it reads each parameter as
// BoundFunction's Invoke reads the same value from its slot, so that both paths agree.

#include <VelmorandScript/TypedCall.h>
#include <VelmorandScript/detail/BoundFunction.h>

#include <cstddef>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace VelmorandScript {
namespace Detail {

/// How a parameter of type P travels through a typed call; kind None when it cannot.
template <class P, class = void>
struct TypedParameter {
    static constexpr TypedKind kind = TypedKind::None;
};

/// Numbers and booleans, by value or by const reference.
template <class P>
struct TypedParameter<P, std::enable_if_t<ParameterTraits<P>::kind == ParameterKind::Input &&
                                          (std::is_same<Bare<P>, double>::value ||
                                           std::is_same<Bare<P>, long>::value ||
                                           std::is_same<Bare<P>, bool>::value)>> {
    typedef Bare<P> Holder;
    static constexpr TypedKind kind = std::is_same<Holder, double>::value ? TypedKind::Double
                                      : std::is_same<Holder, long>::value ? TypedKind::Long
                                                                          : TypedKind::Bool;
    static bool Read(const TypedArgument& argument, Holder& holder) {
        if constexpr (kind == TypedKind::Double) {
            holder = argument.asDouble;
        } else if constexpr (kind == TypedKind::Long) {
            holder = argument.asLong;
        } else {
            holder = argument.asBool;
        }
        return true;
    }
    static decltype(auto) Pass(Holder& holder) { return static_cast<const Holder&>(holder); }
};

/// Wide texts are passed as the host's own, UTF-8 texts converted as Invoke converts them.
template <class P>
struct TypedParameter<
    P, std::enable_if_t<ParameterTraits<P>::kind == ParameterKind::Input && IsText<Bare<P>>>> {
    static constexpr TypedKind kind = TypedKind::Text;
    static constexpr bool wide = std::is_same<Bare<P>, std::wstring>::value;
    typedef std::conditional_t<wide, const std::wstring*, std::string> Holder;
    static bool Read(const TypedArgument& argument, Holder& holder) {
        if constexpr (wide) {
            holder = argument.text;
        } else {
            holder = Common::ToUtf8(*argument.text);
        }
        return true;
    }
    static decltype(auto) Pass(Holder& holder) {
        if constexpr (wide) {
            return static_cast<const std::wstring&>(*holder);
        } else {
            return static_cast<P>(holder);
        }
    }
};

/// Objects of registered classes, by reference, pointer or shared pointer: read from the
/// presented Value as Invoke reads them from the slot.
template <class P>
struct TypedParameter<
    P, std::enable_if_t<ParameterTraits<P>::kind == ParameterKind::Input &&
                        (IsObjectClass<typename ParameterTraits<P>::Pointee> ||
                         (SharedPointerTraits<Bare<P>>::value &&
                          IsObjectClass<typename SharedPointerTraits<Bare<P>>::Element>))>> {
    typedef ParameterTraits<P> Traits;
    typedef typename Traits::Holder Holder;
    static constexpr TypedKind kind = TypedKind::Object;
    static bool Read(const TypedArgument& argument, Holder& holder) {
        try {
            holder = Traits::Read(*argument.object);
        } catch (const ScriptException&) {
            return false;  // of another class: Invoke reports it
        }
        return true;
    }
    static decltype(auto) Pass(Holder& holder) { return Traits::Pass(holder); }
};

/// The kind of a result of type R; Boxed for anything but numbers, booleans and nothing.
template <class R, bool nonOwning>
constexpr TypedKind TypedResultKind() {
    if constexpr (std::is_void<R>::value) {
        return TypedKind::None;
    } else if constexpr (ResultTraits<R, nonOwning>::refers) {
        return TypedKind::Boxed;  // a reference to the object, not a copy of its value
    } else if constexpr (std::is_same<Bare<R>, double>::value) {
        return TypedKind::Double;
    } else if constexpr (std::is_same<Bare<R>, long>::value) {
        return TypedKind::Long;
    } else if constexpr (std::is_same<Bare<R>, bool>::value) {
        return TypedKind::Bool;
    } else {
        return TypedKind::Boxed;
    }
}

/// Whether a function with these parameters has a typed entry.
template <class... P>
constexpr bool HasTypedKinds = sizeof...(P) <= TypedEntry::MaximumParameters &&
                               ((TypedParameter<P>::kind != TypedKind::None) && ... && true);

/// The typed entry of a bound callable with result R, object Self (void for none) and
/// parameters P.
template <class R, bool nonOwning, class Self, class Callable, class... P>
class TypedBinding final : public TypedEntry {
public:
    TypedBinding(const BoundFunction& function, Callable callable)
        : TypedEntry(kinds, sizeof...(P), TypedResultKind<R, nonOwning>()),
          m_function(function),
          m_callable(std::move(callable)) {}

    bool Call(const Value& object, const TypedArgument* arguments,
              TypedResult& result) const override {
        return CallWith(object, arguments, result, std::index_sequence_for<P...>());
    }

private:
    static constexpr TypedKind kinds[sizeof...(P) + 1] = {TypedParameter<P>::kind...,
                                                          TypedKind::None};

    template <std::size_t... I>
    bool CallWith(const Value& object, const TypedArgument* arguments, TypedResult& result,
                  std::index_sequence<I...>) const {
        std::tuple<typename TypedParameter<P>::Holder...> holders;
        if (!(TypedParameter<P>::Read(arguments[I], std::get<I>(holders)) && ... && true)) {
            return false;
        }
        (void)arguments;
        if constexpr (std::is_void<Self>::value) {
            (void)object;
            m_function.Guarded([&] {
                Store(result, [&]() -> decltype(auto) {
                    return std::invoke(m_callable,
                                       TypedParameter<P>::Pass(std::get<I>(holders))...);
                });
            });
        } else {
            typedef std::remove_cv_t<std::remove_pointer_t<Bare<Self>>> C;
            C* self;
            try {
                self = ObjectOf<C>(object, true);
            } catch (const ScriptException&) {
                return false;  // called on an object of another class: Invoke reports it
            }
            m_function.Guarded([&] {
                Store(result, [&]() -> decltype(auto) {
                    if constexpr (std::is_pointer<Bare<Self>>::value) {
                        return std::invoke(m_callable, static_cast<Self>(self),
                                           TypedParameter<P>::Pass(std::get<I>(holders))...);
                    } else {
                        return std::invoke(m_callable, static_cast<Self>(*self),
                                           TypedParameter<P>::Pass(std::get<I>(holders))...);
                    }
                });
            });
        }
        return true;
    }

    /// Runs the call and stores its result as the result kind says.
    template <class Invocation>
    static void Store(TypedResult& result, const Invocation& invoke) {
        constexpr TypedKind kind = TypedResultKind<R, nonOwning>();
        if constexpr (kind == TypedKind::None) {
            invoke();
        } else if constexpr (kind == TypedKind::Double) {
            result.asDouble = invoke();
        } else if constexpr (kind == TypedKind::Long) {
            result.asLong = invoke();
        } else if constexpr (kind == TypedKind::Bool) {
            result.asBool = invoke();
        } else {
            result.boxed = ResultTraits<R, nonOwning>::ToValue(invoke());
        }
    }

    const BoundFunction& m_function;
    Callable m_callable;
};

}  // namespace Detail
}  // namespace VelmorandScript
