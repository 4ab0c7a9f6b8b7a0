#pragma once

/// \file
/// Typed calls: the entry through which a host calls a function described with ClassBuilder
/// without boxing each argument and the result in a Value.
///
/// A function that has one (Function::GetTypedEntry) lists the kind of each script input and of
/// its result. The host reads each script value straight into a TypedArgument of that kind, calls
/// TypedEntry::Call and pushes the result. The entry is an optimisation only: the host takes it
/// only when every script value is one that the descriptor path (Invoke) would pass unchanged,
/// and calls Invoke in every other case: a missing, extra or nil argument, a value that needs a
/// conversion or would raise a notice, logging enabled, a deprecated function. Both paths then
/// give the same results, notices and errors.
///
///     if (const TypedEntry* entry = function.GetTypedEntry()) {
///         TypedArgument arguments[TypedEntry::MaximumParameters];
///         // for each input i: read the script value as GetParameterKinds()[i] says; a value
///         // the kind does not take means Invoke instead.
///         TypedResult result;
///         if (entry->Call(object, arguments, result)) { /* push result */ }
///     }

#include <VelmorandScript/Export.h>
#include <VelmorandScript/Values.h>

#include <cstddef>
#include <string>

namespace VelmorandScript {

/// What a typed parameter takes, or a typed result gives. Each parameter kind names the script
/// values the host may pass through it: exactly those the descriptor path passes to the function
/// without any conversion.
enum class TypedKind : unsigned char {
    /// A result: nothing (a void function).
    None,
    /// Any script number, integers converted to double.
    Double,
    /// A script integer that the host boxes as a long.
    Long,
    /// A script boolean.
    Bool,
    /// A script string, as the `std::wstring` the host decodes it to.
    Text,
    /// A native object, as the Value its wrapper presents (Object::GetScriptedObjectRef), when
    /// that Value's type is the parameter's DataType (the argument descriptor's GetType()).
    Object,
    /// A result only: a Value, pushed as the host pushes the results of Invoke.
    Boxed,
};

/// One argument of a typed call, read by the host as its parameter's kind asks.
union TypedArgument {
    /// Of a Double parameter.
    double asDouble;
    /// Of a Long parameter.
    long asLong;
    /// Of a Bool parameter.
    bool asBool;
    /// Of a Text parameter: the host's decoded text, alive for the call.
    const std::wstring* text;
    /// Of an Object parameter: the value the object's wrapper presents, alive for the call.
    const Value* object;
};

/// The result of a typed call: numbers and booleans as they are, anything else boxed.
struct TypedResult {
    union {
        /// A result of kind Double.
        double asDouble;
        /// A result of kind Long.
        long asLong;
        /// A result of kind Bool.
        bool asBool;
    };
    /// The result of kind Boxed (empty for none).
    Value boxed;
};

/// The typed entry of a function: see the file comment.
class VELMORAND_API TypedEntry {
public:
    /// The most script inputs a typed entry takes.
    static constexpr std::size_t MaximumParameters = 8;

    virtual ~TypedEntry();

    /// The kinds of the script inputs, in the order the script passes them: one per input
    /// argument descriptor.
    const TypedKind* GetParameterKinds() const { return m_parameterKinds; }
    /// How many script inputs the entry takes (GetParameterKinds has as many).
    std::size_t GetParameterCount() const { return m_parameterCount; }
    /// The kind of the result: None, Double, Long, Bool or Boxed.
    TypedKind GetResultKind() const { return m_resultKind; }

    /// Calls the function on `object` (the Value the wrapper presents; empty for a static
    /// function or a constructor) with one argument per parameter kind. Returns false, having
    /// called nothing, when the object or an object argument is not of the class the function
    /// takes: the host then calls Invoke, which reports it. Errors of the function itself are
    /// thrown as Invoke throws them.
    virtual bool Call(const Value& object, const TypedArgument* arguments,
                      TypedResult& result) const = 0;

protected:
    /// An entry with `parameterCount` parameters of the kinds at `parameterKinds` (which must
    /// outlive it) and a result of `resultKind`.
    TypedEntry(const TypedKind* parameterKinds, std::size_t parameterCount, TypedKind resultKind)
        : m_parameterKinds(parameterKinds),
          m_parameterCount(parameterCount),
          m_resultKind(resultKind) {}
    TypedEntry(const TypedEntry&) = delete;
    TypedEntry& operator=(const TypedEntry&) = delete;

private:
    const TypedKind* m_parameterKinds;
    std::size_t m_parameterCount;
    TypedKind m_resultKind;
};

}  // namespace VelmorandScript
