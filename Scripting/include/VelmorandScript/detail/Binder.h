#pragma once

// The descriptors ClassBuilder (Registration.h) makes of a C++ callable: its signature split into
// the object and the parameters, one argument descriptor per parameter and the return slot, and
// the body that reads, calls and writes back.

#include <VelmorandScript/detail/BoundFunction.h>
#include <VelmorandScript/detail/TypedBinding.h>

#include <boost/make_shared.hpp>

#include <cstddef>
#include <cwctype>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace VelmorandScript {
namespace Detail {

/// A callable as bound, and whether it was bound with NonOwning.
template <class F>
struct Bound {
    typedef F Callable;
    static constexpr bool nonOwning = false;
    static const F& Get(const F& function) { return function; }
};
template <class F>
struct Bound<NonOwningCall<F>> {
    typedef F Callable;
    static constexpr bool nonOwning = true;
    static const F& Get(const NonOwningCall<F>& call) { return call.function; }
};

/// Describes the parameters: one argument descriptor per parameter (the context unnamed, the
/// others with the next of `names`), then the return slot.
template <class R, bool nonOwning, class... P>
void DescribeArguments(BoundFunction& function, std::initializer_list<Parameter> names) {
    const Parameter* name = names.begin();
    std::size_t named = 0;
    auto describe = [&](auto traits) {
        typedef decltype(traits) Traits;
        if constexpr (Traits::kind == ParameterKind::Context) {
            function.AddArgument(Argument(DataType(typeid(IScriptContext)), L"context", L"context",
                                          InputArgument, Value(), nullptr));
            return;
        } else {
            ++named;
            if (name == names.end()) {
                return;
            }
            const Parameter& given = *name++;
            const long style =
                Traits::kind == ParameterKind::Output
                    ? OutputArgument
                    : InputArgument | (given.IsOptional() ? long{OptionalArgument} : 0L);
            const wchar_t* scriptType =
                given.GetScriptType() != nullptr ? given.GetScriptType() : Traits::ScriptType();
            const Argument argument(
                Traits::DescriptorDataType(),
                scriptType != nullptr ? scriptType : Traits::Probe().GetType().GetNameRef().c_str(),
                given.GetName(), style, given.GetDefaultValue(), given.GetScriptDefault());
            if (scriptType == nullptr) {
                function.AddClassArgument(argument, &Traits::Probe, Traits::passesObject);
            } else {
                function.AddArgument(argument);
            }
        }
    };
    (describe(ParameterTraits<P>()), ...);
    (void)describe;
    if (named != names.size()) {
        function.SetProblem(
            FormatTableMessage(Messages::ParameterNameCount, function.QualifiedName(),
                               std::to_wstring(names.size()), std::to_wstring(named)));
    }
    typedef ResultTraits<R, nonOwning> Result;
    if constexpr (std::is_void<R>::value) {
        function.AddArgument(
            Argument(DataType(typeid(void)), L"void", L"result", ReturnArgument, Value(), nullptr));
    } else if (const wchar_t* scriptType = Result::ScriptType()) {
        function.AddArgument(Argument(Result::DescriptorDataType(), scriptType, L"result",
                                      ReturnArgument, Value(), nullptr));
    } else {
        function.AddClassArgument(
            Argument(Result::DescriptorDataType(), Result::Probe().GetType().GetNameRef().c_str(),
                     L"result", ReturnArgument, Value(), nullptr),
            &Result::Probe, Result::passesObject);
    }
}

/// The style a method gets: a command when it gives the script nothing back.
template <class R, class... P>
constexpr int MethodStyle() {
    return std::is_void<R>::value &&
                   ((ParameterTraits<P>::kind != ParameterKind::Output) && ... && true)
               ? CommandStyle
               : InstanceStyle;
}

/// Makes the descriptor of `bound` with the signature S.
template <class S, class B>
struct Binder;
template <class R, class Self, bool isConst, class... P, class B>
struct Binder<Signature<R, Self, isConst, P...>, B> {
    static boost::shared_ptr<BoundFunction> Make(const wchar_t* name, const wchar_t* className,
                                                 const wchar_t* moduleName, int style,
                                                 bool constFunction, const B& bound,
                                                 std::initializer_list<Parameter> names) {
        typedef Bound<B> Binding;
        typename Binding::Callable callable = Binding::Get(bound);
        typedef typename Binding::Callable Callable;
        BoundFunction::Body body = [callable](const BoundFunction& function, const Value& object,
                                              std::vector<Value>& slots) {
            if constexpr (std::is_void<Self>::value) {
                (void)object;
                CallBound<R, Binding::nonOwning, P...>(
                    function, slots,
                    [&callable](auto&&... arguments) -> decltype(auto) {
                        return std::invoke(callable,
                                           std::forward<decltype(arguments)>(arguments)...);
                    },
                    std::index_sequence_for<P...>());
            } else {
                auto&& self = SelfOf<Self>(function, object);
                CallBound<R, Binding::nonOwning, P...>(
                    function, slots,
                    [&callable, &self](auto&&... arguments) -> decltype(auto) {
                        return std::invoke(callable, self,
                                           std::forward<decltype(arguments)>(arguments)...);
                    },
                    std::index_sequence_for<P...>());
            }
        };
        if (style == 0) {
            style = MethodStyle<R, P...>();
        }
        auto function = boost::make_shared<BoundFunction>(
            name, className, moduleName, constFunction || isConst, style, std::move(body));
        if constexpr (HasTypedKinds<P...>) {
            function->SetTyped(
                std::make_unique<const TypedBinding<R, Binding::nonOwning, Self, Callable, P...>>(
                    *function, callable));
        }
        DescribeArguments<R, Binding::nonOwning, P...>(*function, names);
        return function;
    }
};

template <class B>
using SignatureOfBound = typename SignatureOf<typename Bound<B>::Callable>::type;

/// "radius" for the property "Radius": the name of a property setter's parameter.
inline const wchar_t* SetterParameterName(const wchar_t* property) {
    std::wstring name = property != nullptr ? property : L"";
    if (!name.empty()) {
        name[0] = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(name[0])));
    }
    return KeepText(name);
}

}  // namespace Detail

}  // namespace VelmorandScript
