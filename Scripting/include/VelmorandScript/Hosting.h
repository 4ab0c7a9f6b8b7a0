#pragma once

/// \file
/// What every script host needs beside its language: the role each argument descriptor gives
/// its slot, the arguments built from what the script passed, the functions a deprecated call
/// really runs, the order in which a call's values go back to the script, application
/// modules, and the script classes the listings need. A host adds only its language's side:
/// reading and pushing script values.

#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Export.h>
#include <VelmorandScript/Objects.h>
#include <VelmorandScript/TypedCall.h>
#include <VelmorandScript/Values.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace VelmorandScript {
namespace Hosting {

// --- Argument roles --------------------------------------------------------------------------

/// A context argument, which the host fills with the running script's context. Declared as
/// IScriptContext itself.
inline bool IsContextArgument(const Argument& argument) {
    return argument.GetType() == DataType(typeid(IScriptContext));
}

/// A return argument declared "void" (in any letter case): the script receives nothing for it.
VELMORAND_API bool IsVoidResult(const Argument& argument);

/// Whether an argument of this style that is no context is one the script supplies: inputs,
/// and arguments that carry no direction bit at all.
inline bool IsScriptInputStyle(long style) {
    if ((style & ReturnArgument) != 0) {
        return false;
    }
    return (style & InputArgument) != 0 || (style & OutputArgument) == 0;
}

/// A return value the script receives.
inline bool IsScriptResult(const Argument& argument) {
    return (argument.GetStyle() & ReturnArgument) != 0 && !IsVoidResult(argument);
}

/// An output argument that is no return value; the script receives it after the return value.
inline bool IsScriptOutput(long style) {
    return (style & OutputArgument) != 0 && (style & ReturnArgument) == 0;
}

/// Calls `deliver(value)` for each value a call gives the script, in the order the script
/// receives them: the return values, then the output arguments, each slot of `values` (one per
/// argument descriptor) once. Returns how many it delivered.
template <class Deliver>
int DeliverResults(const IFunction& function, std::vector<Value>& values, Deliver&& deliver) {
    const std::vector<Argument>& arguments = function.GetArguments();
    int delivered = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (IsScriptResult(arguments[i])) {
            deliver(values[i]);
            ++delivered;
        }
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (IsScriptOutput(arguments[i].GetStyle())) {
            deliver(values[i]);
            ++delivered;
        }
    }
    return delivered;
}

// --- The frame of a call ---------------------------------------------------------------------

/// The texts a call frame shows: the class's script name and the function's name, as the
/// descriptors keep them (they live as long as their module).
struct CallNames {
    /// The class's script name.
    const wchar_t* className = L"";
    /// The function's name.
    const wchar_t* functionName = L"";
};

/// The frame a host pushes for a script call into native code: numbered arguments, and the
/// function as "Class::Function". It keeps the descriptors' texts and makes strings of them only
/// when asked, so that a host can reuse one frame from call to call.
class VELMORAND_API CallFrame : public IScriptCall {
public:
    ~CallFrame() override;
    /// 1: argument errors number the arguments.
    int UsesArgumentNumbers() const override;
    /// The class's script name.
    std::wstring GetCalledClassName() const override;
    /// "Class::Function".
    std::wstring GetCalledFunctionName() const override;

    /// Names the call this frame now stands for (null texts read as "").
    void Name(const wchar_t* className, const wchar_t* functionName) {
        m_className = className != nullptr ? className : L"";
        m_functionName = functionName != nullptr ? functionName : L"";
    }
    /// As above, from names taken before.
    void Name(const CallNames& names) {
        m_className = names.className;
        m_functionName = names.functionName;
    }
    /// A renamed function runs under its new name.
    void Redirect(const wchar_t* functionName) {
        m_functionName = functionName != nullptr ? functionName : L"";
    }

private:
    const wchar_t* m_className = L"";
    const wchar_t* m_functionName = L"";
};

/// Pushes a call's frame on the context and takes it back on every way out. The frame moves
/// onto the context's stack and back, so that neither step changes its reference count; a host
/// keeps it for the next call. Native code that left frames of its own on the stack gets no
/// frame of the host's back: `frame` is then empty, theirs released.
class CallFrameScope {
public:
    /// Pushes `frame`, which is empty until the scope ends.
    CallFrameScope(ScriptContext& context, boost::shared_ptr<IScriptCall>& frame)
        : m_context(context), m_frame(frame), m_pushed(frame.get()) {
        context.EnterScriptCall(std::move(frame));
    }
    ~CallFrameScope() {
        try {
            m_context.LeaveScriptCall(m_frame);
            if (m_frame.get() != m_pushed) {
                m_frame.reset();
            }
        } catch (...) {
            // The frame was pushed by the constructor; a failing pop has nothing left to undo.
        }
    }
    CallFrameScope(const CallFrameScope&) = delete;
    CallFrameScope& operator=(const CallFrameScope&) = delete;

private:
    ScriptContext& m_context;
    boost::shared_ptr<IScriptCall>& m_frame;
    const IScriptCall* m_pushed;
};

/// A warning's text as hosts show it: "calling <function>: <text>" while a call is in progress
/// on `context` (native code warns from within the call it serves), `text` alone otherwise.
VELMORAND_API std::wstring NameCallOfWarning(const IScriptContext& context,
                                             const std::wstring& text);

// --- Building the arguments ------------------------------------------------------------------

/// The values a script passed to a call, as its host reads them. Indexes count from 0.
class VELMORAND_API ArgumentSource {
public:
    virtual ~ArgumentSource();

    /// How many values the script passed.
    virtual int GetCount() const = 0;
    /// Whether the value at `index` is the script's nothing (Lua's nil, Python's None).
    virtual bool IsNothing(int index) const = 0;
    /// The value at `index` in the host's native forms (see the host's documentation), for a
    /// parameter described by `argument`: a host may read it differently for a parameter of
    /// type Value (a callable object as a function) or IObject (the wrapper itself).
    virtual Value Read(int index, const Argument& argument) = 0;
    /// The script's word for the type of the value at `index` when its native form is the
    /// host's own type, which the script never saw (a table, a function), for error texts; null
    /// to name the value by its native type.
    virtual const char* GetScriptWord(int index) const = 0;
    /// The running script's context, for context arguments and conversions; asked for only
    /// when a call needs it.
    virtual boost::shared_ptr<IScriptContext> GetContext() = 0;

    /// Puts the value at `index` into `slot` when it is a number that a parameter of `type`
    /// takes as it is, reusing the slot's holder, and returns true; false, the slot unchanged,
    /// otherwise. A host's speed-up: the default takes nothing, and Read is asked instead.
    virtual bool StorePlainNumber(int index, const DataType& type, Value& slot);
    /// Whether an exception a conversion of an argument threw is the host's own, which passes
    /// on as it is rather than becoming an argument error. Aborts and cancels always pass on.
    virtual bool IsHostError(const ScriptException& error) const;
    /// The script's word for nothing in error texts ("Expected double, got nil"): "nil" unless
    /// the host's language says otherwise.
    virtual const wchar_t* GetNothingWord() const;

protected:
    ArgumentSource() = default;
    /// Sources are made by hosts for one call each; copying one copies its reading position.
    ArgumentSource(const ArgumentSource&) = default;
    /// As the copy constructor.
    ArgumentSource& operator=(const ArgumentSource&) = default;
};

/// Fills `values` with one value per argument descriptor of `function`: the context for a
/// context argument, the script's values in order for the inputs (converted to the
/// descriptors' types; a missing or nothing value takes an optional argument's default), and
/// nothing in the other slots. Numbers that `values` holds from an earlier call lend their
/// holders. Argument errors (missing, nothing where a value is needed, no conversion, too
/// many values; trailing nothings are not counted) name the argument by its number and name
/// and the call by `frame`.
VELMORAND_API void BuildArguments(const IFunction& function, ArgumentSource& source,
                                  const IScriptCall& frame, std::vector<Value>& values);

// --- Number calls -----------------------------------------------------------------------------

/// Puts `number` into `slot`, into the slot's own holder when no other Value shares it.
template <class T>
inline void StoreNumber(Value& slot, T number) {
    if (!slot.OverwriteSoleCopy(number)) {
        slot = Value(&number);
    }
}

/// The argument layout of a function whose script inputs are all double or long parameters and
/// that returns at most one value: the usual method call of a hand-described class. Worked out
/// once per function, it lets a host fill the argument slots straight from its own numbers with
/// what BuildArguments would put there.
class VELMORAND_API NumberCallLayout {
public:
    /// What the function finds in a slot: a number from the script, or nothing (its return
    /// values, void ones included).
    enum class Role : unsigned char { Double, Long, Empty };

    /// The layout of `function`; it applies to no call when the function is deprecated, takes
    /// the context, has outputs, other inputs or more than one result.
    explicit NumberCallLayout(const IFunction& function);

    /// Whether a call with `count` script values fits the layout.
    bool Fits(int count) const { return m_applies && count == m_inputCount; }

    /// Fills `values` for a call that fits: the other slots emptied, and each number slot by
    /// `store(input, isDouble, slot)`, where `input` counts the script's values from 0 and the
    /// host stores the value as StoreNumber would when the general path would make the same
    /// of it (any number for a double, an integer within 32 bits for a long). Returns false
    /// as soon as `store` does, maybe having filled some slots, which BuildArguments then
    /// fills anew.
    template <class Store>
    [[gnu::always_inline]] bool Fill(std::vector<Value>& values, Store&& store) const {
        values.resize(m_roles.size());
        Value* slot = values.data();
        int input = 0;
        for (const Role role : m_roles) {
            if (role == Role::Empty) {
                // As on the general path, the function finds its other slots empty.
                if (!slot->IsEmpty()) {
                    *slot = Value();
                }
            } else if (!store(input++, role == Role::Double, *slot)) {
                return false;
            }
            ++slot;
        }
        return true;
    }

    /// The slot of the value the script receives, or npos when it receives none.
    std::size_t GetResultSlot() const { return m_resultSlot; }
    /// Whether a double result may reach the script as it is: logging was off and the
    /// wrapper routine of double passed it unchanged when the layout was made (neither changes
    /// once so: the logging switch is read once, wrapper routines are never replaced).
    bool DoublesPassPlain() const { return m_doublesPassPlain; }

private:
    bool m_applies;
    bool m_doublesPassPlain;
    /// One role per slot, in slot order; the inputs take the script's values in that order.
    std::vector<Role> m_roles;
    int m_inputCount;
    std::size_t m_resultSlot;
};

// --- Typed calls ------------------------------------------------------------------------------

/// What a host needs to call a function through its typed entry (TypedCall.h) with exactly the
/// outcome of the descriptor way: made once per function, when the host binds it.
class VELMORAND_API TypedCallPlan {
public:
    /// How the result of a typed call reaches the script.
    enum class ResultPush : unsigned char {
        /// Nothing (a void function).
        None,
        /// TypedResult::asDouble, as it is.
        Double,
        /// TypedResult::asLong, as it is.
        Long,
        /// TypedResult::asBool, as it is.
        Bool,
        /// TypedResult::boxed, pushed as the descriptor way pushes results (BoxResult first).
        Boxed,
    };

    /// The plan of `function`, or null when it has no typed entry a host may use: none at all,
    /// a deprecated function, logging on (the descriptor way writes the log lines), or an entry
    /// that does not match the descriptors.
    static std::unique_ptr<const TypedCallPlan> For(const IFunction& function);

    /// The entry to call.
    const TypedEntry& GetEntry() const { return m_entry; }
    /// Whether the function still offers the entry the plan was made for: a descriptor
    /// assigned over since (which may have made it deprecated) offers none.
    bool IsCurrent() const { return m_function.GetTypedEntry() == &m_entry; }
    /// Whether a parameter takes a text: its call needs room for the decoded texts.
    bool TakesTexts() const { return m_takesTexts; }
    /// The value the object parameter `parameter` takes from the wrapper `object` as it is:
    /// what the standard wrapper presents, when it has exactly the parameter's type, which the
    /// descriptor way would not convert. Null for another wrapper (it may present a new value
    /// each time) or another type.
    const Value* TakeObject(std::size_t parameter, const IObject& object) const {
        if (typeid(object) != typeid(Object)) {
            return nullptr;
        }
        const Value& presented = static_cast<const Object&>(object).GetScriptedObjectRef();
        return presented.GetType() == m_objectTypes[parameter] ? &presented : nullptr;
    }
    /// How the result reaches the script: a number or boolean as it is only when the wrapper
    /// routine of its type passes it unchanged.
    ResultPush GetResultPush() const { return m_resultPush; }
    /// Boxes a plain result whose push is Boxed, for the descriptor way's push.
    void BoxResult(TypedResult& result) const;

    /// The frame the plan's calls push (a CallFrame), named for the function and reused from
    /// call to call. Empty while a call has it on the context's stack (the function was called
    /// again from within), or after native code replaced it there: the next call makes one.
    boost::shared_ptr<IScriptCall>& Frame() const { return m_frame; }

private:
    TypedCallPlan(const Function& function, const TypedEntry& entry,
                  std::vector<DataType> objectTypes, ResultPush resultPush, bool takesTexts);

    const Function& m_function;
    const TypedEntry& m_entry;
    /// The type an object argument's presented value must have, per parameter: the type of
    /// its descriptor, which the descriptor way converts any other to.
    std::vector<DataType> m_objectTypes;
    ResultPush m_resultPush;
    bool m_takesTexts;
    mutable boost::shared_ptr<IScriptCall> m_frame;
};

// --- Resolving a call ------------------------------------------------------------------------

/// The function `name` of `scriptClass` in one of the styles of `styleMask`, for `object`, or an
/// empty pointer (also for no class).
VELMORAND_API boost::shared_ptr<IFunction> FindScriptFunction(
    const boost::shared_ptr<Class>& scriptClass, const std::wstring& name, long styleMask,
    const boost::shared_ptr<IObject>& object);

/// Throws the text for a call of a function the class does not have in the style called:
/// "Class has no function named 'name' of style Style.".
[[noreturn]] VELMORAND_API void RaiseNoFunction(const boost::shared_ptr<Class>& scriptClass,
                                                const std::wstring& name, long styleMask);

/// What a call of a function runs once its deprecations are followed.
struct ResolvedCall {
    /// The function to invoke; empty when the call is to do nothing (a deprecation that only
    /// warns and has no function to forward to).
    boost::shared_ptr<IFunction> function;
    /// The name the call runs under after renames (the descriptor's own text, which lives as
    /// long as its module), or null when it runs under the name called.
    const wchar_t* renamedTo = nullptr;
};

/// Follows the deprecations of `function`, found as `name` in `scriptClass` (styles
/// `styleMask`, for `object`): DeprecatedFunction::PreInvoke warns or throws as the deprecation
/// asks, and a rename whose behaviour says so forwards to the function under its new name, in
/// the same styles. A function that is not deprecated is returned as it is. Throws for a rename
/// whose new name the class lacks, and for renames that form a loop.
VELMORAND_API ResolvedCall ResolveDeprecation(const boost::shared_ptr<IScriptContext>& context,
                                              const boost::shared_ptr<Class>& scriptClass,
                                              const std::wstring& name, long styleMask,
                                              const boost::shared_ptr<IObject>& object,
                                              boost::shared_ptr<IFunction> function);

// --- Describing script types -----------------------------------------------------------------

/// What a descriptor's script type stands for, for a host's names of types in its language's
/// annotations and help texts.
enum class ScriptTypeKind : unsigned char {
    /// Anything: no script type, a Value of any type, or a name of nothing registered.
    Any,
    /// A floating-point number (double, float, long double).
    Number,
    /// An integer of any width and sign, char included.
    Integer,
    /// bool.
    Boolean,
    /// String.
    Text,
    /// A script function ("function").
    Function,
    /// A hash: "table" or VelmorandScript::IHash.
    Hash,
    /// VelmorandScript::Array.
    Array,
    /// An object of the registered class of that script name.
    Object,
};

/// The kind of the script type `scriptType` (Argument::GetScriptType; null for none).
VELMORAND_API ScriptTypeKind KindOfScriptType(const wchar_t* scriptType);

/// The class scripts meet an object of `scriptClass` as: the class, or its first base that is
/// not hidden; empty when all are.
VELMORAND_API boost::shared_ptr<Class> FirstVisibleClass(boost::shared_ptr<Class> scriptClass);

// --- Modules and the host's classes ----------------------------------------------------------

/// Loads the application module at `path` (a shared library that exports
/// `extern "C" void VelmorandRegisterModule()`) and calls its registration function, once per
/// module however often it is loaded. The module stays loaded until the process ends: the
/// registry keeps its classes, functions and conversions, which point into its code. Throws
/// ScriptException with what went wrong.
VELMORAND_API void LoadModule(const std::string& path);

/// The parts of a script name: "Shapes::Circle" gives "Shapes" and "Circle". Hosts that show
/// classes in nested namespaces (Lua tables, Python attributes) walk them.
VELMORAND_API std::vector<std::wstring> SplitScriptName(const std::wstring& scriptName);

/// Registers the wrapper routines that turn native values into the few forms a host pushes
/// (see ConversionRegistry::WrapValue): the number types become long or double, bool stays,
/// std::wstring and UTF-8 std::string become std::wstring ("String"), a DataType its name, a
/// boxed Value what it holds (wrapped in turn), objects and collections a
/// `boost::shared_ptr<IObject>`, and class instances the Object their registered class makes
/// (Class::CreateWrapper). Registration keeps the first routine of each type.
VELMORAND_API void RegisterWrapperRoutines();

/// Registers the pass-through routine for a host's own type (its references to script values):
/// values of it reach the host as they are.
VELMORAND_API void RegisterPassThrough(const DataType& type);

/// Whether the wrapper routine registered for `type` is the pass-through, which hands a value
/// to the host as it is: a host may then push such values without wrapping them.
VELMORAND_API bool IsWrappedUnchanged(const DataType& type);

/// Registers the script classes that hosts hand to scripts and the listings describe:
/// "VelmorandScript::Array" (count, item, add, insert, replace, delete, clear, counting from 1),
/// "VelmorandScript::Class", "VelmorandScript::Function" and "VelmorandScript::Argument"
/// (their descriptors' fields), introduced by the module `moduleName` (the host's name). Safe
/// to call again: registration keeps the first of each.
VELMORAND_API void RegisterHostClasses(const wchar_t* moduleName);

}  // namespace Hosting
}  // namespace VelmorandScript
