#pragma once

/// @file
/// Script classes and functions: argument descriptors, function descriptors and their style
/// words, deprecated functions, class descriptors with inheritance by script name, and the
/// process-wide class registry.
///
/// Descriptors keep the texts they are given as pointers and never copy or free them: pass texts
/// that outlive the descriptors (string literals).

#include <VelmorandScript/Export.h>
#include <VelmorandScript/Values.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace VelmorandScript {

class Class;
class TypedEntry;
class FunctionTable;
class IArray;
class IObject;
class IScriptContext;

/// Style bits of a function. A lookup tries the requested bits from the lowest upwards.
enum FunctionStyle : long {
    StaticStyle = 0x1,
    InstanceStyle = 0x2,
    ConstructorStyle = 0x4,
    PropertyGetStyle = 0x8,
    PropertySetStyle = 0x10,
    CommandStyle = 0x20,
    DestructorStyle = 0x40,
    FilterStyle = 0x100,
    DeprecatedStyle = 0x200,
    /// Not a style: marks a function implemented on the wrapper; masked off by GetStyle.
    ImplementedOnWrapperFlag = 0x800,
    /// The bits that make up a function's style.
    StyleMask = 0x7FF
};

/// Style bits of an argument as hosts and modules use them. The library itself reads only
/// OptionalArgument, and ReturnArgument together with the script type "void".
enum ArgumentStyle : long {
    InputArgument = 0x1,
    OutputArgument = 0x2,
    ReturnArgument = 0x4,
    OptionalArgument = 0x8
};

/// How a function reports its output arguments; the library stores ArgumentsByPosition.
enum ArgumentSpecificationStyle { ArgumentsByPosition = 1 };

/// Describes one parameter of a script-visible function.
class VELMORAND_API Argument {
public:
    /// Type: the DataType of Argument; no texts; style 0; no default value.
    Argument();
    /// `type` is the native type, `scriptType` the type name scripts see ("void" for a return
    /// value without one), `style` a combination of ArgumentStyle bits; `defaultValue` and
    /// `scriptDefaultValue` (may be null) serve optional arguments.
    Argument(const DataType& type, const wchar_t* scriptType, const wchar_t* name, long style,
             Value defaultValue, const wchar_t* scriptDefaultValue);
    /// Copies the descriptor; the default value shares its native value.
    Argument(const Argument& other);
    /// Copies the descriptor; the default value shares its native value.
    Argument& operator=(const Argument& other);
    virtual ~Argument();

    /// A hook for derived descriptors; leaves the value unchanged.
    virtual void GetContainedValue(Value& value) const;

    /// The native type of the argument.
    const DataType& GetType() const { return m_type; }
    /// The type name scripts see, as given.
    const wchar_t* GetScriptType() const { return m_scriptType; }
    /// The argument's name, as given.
    const wchar_t* GetName() const { return m_name; }
    /// The ArgumentStyle bits, as given.
    long GetStyle() const { return m_style; }
    /// The native default value; empty when none was given.
    const Value& GetDefaultValue() const { return m_defaultValue; }
    /// The default value as scripts would write it, as given (may be null).
    const wchar_t* GetScriptDefaultValue() const { return m_scriptDefaultValue; }
    /// Whether the style has OptionalArgument.
    bool IsOptional() const { return (m_style & OptionalArgument) != 0; }
    /// Always "".
    const wchar_t* GetDescription() const;

private:
    DataType m_type;
    const wchar_t* m_scriptType;
    const wchar_t* m_name;
    int m_style;
    Value m_defaultValue;
    const wchar_t* m_scriptDefaultValue;
};

/// An argument whose native values are held by shared pointer; otherwise an Argument.
class VELMORAND_API BoostSharedPtrArgument : public Argument {
public:
    /// As Argument's constructor; `type` is the pointee type.
    BoostSharedPtrArgument(const DataType& type, const wchar_t* scriptType, const wchar_t* name,
                           long style, Value defaultValue, const wchar_t* scriptDefaultValue);
    /// Copies the descriptor.
    BoostSharedPtrArgument(const BoostSharedPtrArgument& other);
    /// Copies the descriptor.
    BoostSharedPtrArgument& operator=(const BoostSharedPtrArgument& other);
    ~BoostSharedPtrArgument() override;
};

/// The key of a function table: the function's name and style.
typedef std::pair<std::wstring, long> FunctionKey;

/// A function key that refers to its name without owning it, for lookups without allocation.
struct FunctionKeyView {
    const wchar_t* name;  ///< the name's first character; need not be null-terminated
    std::size_t length;   ///< the number of characters of the name
    long style;           ///< the FunctionStyle bits
};

/// Orders function keys: names by code unit (unsigned, case-sensitive); equal names whose styles
/// share a bit are equivalent; otherwise by style.
struct FunctionKeyLess {
    /// Lets FunctionMap look up a FunctionKeyView without building a FunctionKey.
    typedef void is_transparent;

    /// -1, 0 or +1: the names compared code unit by code unit as unsigned numbers, a proper
    /// prefix being the smaller.
    static int CompareNames(const wchar_t* a, std::size_t aLength, const wchar_t* b,
                            std::size_t bLength) {
        const std::size_t common = aLength < bLength ? aLength : bLength;
        for (std::size_t i = 0; i < common; ++i) {
            const auto x = static_cast<std::make_unsigned<wchar_t>::type>(a[i]);
            const auto y = static_cast<std::make_unsigned<wchar_t>::type>(b[i]);
            if (x != y) {
                return x < y ? -1 : 1;
            }
        }
        return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
    }
    /// Whether key a orders before key b (see the class comment).
    static bool Less(const wchar_t* a, std::size_t aLength, long aStyle, const wchar_t* b,
                     std::size_t bLength, long bStyle) {
        const int byName = CompareNames(a, aLength, b, bLength);
        if (byName != 0) {
            return byName < 0;
        }
        return (aStyle & bStyle) == 0 && aStyle < bStyle;
    }
    /// Whether `a` orders before `b`.
    bool operator()(const FunctionKey& a, const FunctionKey& b) const {
        return Less(a.first.data(), a.first.size(), a.second, b.first.data(), b.first.size(),
                    b.second);
    }
    /// Whether the view `a` orders before `b`.
    bool operator()(const FunctionKeyView& a, const FunctionKey& b) const {
        return Less(a.name, a.length, a.style, b.first.data(), b.first.size(), b.second);
    }
    /// Whether `a` orders before the view `b`.
    bool operator()(const FunctionKey& a, const FunctionKeyView& b) const {
        return Less(a.first.data(), a.first.size(), a.second, b.name, b.length, b.style);
    }
};

class IFunction;
/// Functions by (name, style) in function-key order.
typedef std::map<FunctionKey, boost::shared_ptr<IFunction>, FunctionKeyLess> FunctionMap;

/// A script-visible function.
class VELMORAND_API IFunction {
public:
    IFunction() = default;
    /// Interfaces carry no state.
    IFunction(const IFunction&) = default;
    /// Interfaces carry no state.
    IFunction& operator=(const IFunction&) = default;
    virtual ~IFunction();

    /// The name scripts call the function by.
    virtual const wchar_t* GetName() const = 0;
    /// The class the function belongs to, or an empty pointer when it is not registered.
    virtual boost::shared_ptr<Class> GetOwningClass() = 0;
    /// The name of the application module that introduced the function.
    virtual const wchar_t* GetIntroducingModuleName() const = 0;
    /// Whether the function leaves the object it is called on unchanged.
    virtual bool IsConst() const = 0;
    /// A human-readable description of the function.
    virtual const wchar_t* GetDescription() const = 0;
    /// The style bits (FunctionStyle), without ImplementedOnWrapperFlag.
    virtual long GetStyle() const = 0;
    /// Whether the function is implemented on the wrapper (ImplementedOnWrapperFlag) rather
    /// than on the native object.
    virtual bool IsImplementedOnWrapper() const = 0;
    /// How the function reports its output arguments.
    virtual ArgumentSpecificationStyle GetOutputArgumentStyle() = 0;
    /// The argument descriptors in declared order, return value included.
    virtual const std::vector<Argument>& GetArguments() const = 0;
    /// A script-visible array of copies of the arguments, less return values of script type
    /// "void".
    virtual boost::shared_ptr<const IArray> GetFunctionArguments() = 0;
    /// How many arguments share at least one style bit with the mask.
    virtual unsigned int GetNumberOfArgumentsOfStyle(long mask) const = 0;
    /// Appends a copy of the descriptor to the arguments.
    virtual void AddArgument(const Argument& argument) = 0;
    /// Runs the function. `object` is the object it is called on (empty for static functions
    /// and constructors); `arguments` holds one value per argument descriptor, in declared
    /// order, and receives the return value and outputs in their places.
    virtual void Invoke(const Value& object, std::vector<Value>& arguments) const = 0;
    /// Validates the function once all classes are registered; throws ScriptException.
    virtual void Check(const Class* owner, const FunctionTable* table) const = 0;
};

/// The base of function descriptors: everything except Invoke, which derived classes supply.
class VELMORAND_API Function : public IFunction {
public:
    /// Copies the descriptor, its texts (as pointers) and its arguments.
    Function(const Function& other);
    /// Copies the descriptor, its texts (as pointers) and its arguments.
    Function& operator=(const Function& other);
    ~Function() override;

    const wchar_t* GetName() const override { return m_name; }
    /// The class registered under the owning class name, or an empty pointer.
    boost::shared_ptr<Class> GetOwningClass() override;
    const wchar_t* GetIntroducingModuleName() const override { return m_introducingModuleName; }
    bool IsConst() const override { return m_isConst; }
    /// Always "".
    const wchar_t* GetDescription() const override;
    long GetStyle() const override { return m_style & StyleMask; }
    bool IsImplementedOnWrapper() const override {
        return (m_style & ImplementedOnWrapperFlag) != 0;
    }
    ArgumentSpecificationStyle GetOutputArgumentStyle() override { return m_outputArgumentStyle; }
    const std::vector<Argument>& GetArguments() const override { return m_arguments; }
    boost::shared_ptr<const IArray> GetFunctionArguments() override;
    unsigned int GetNumberOfArgumentsOfStyle(long mask) const override;
    void AddArgument(const Argument& argument) override;
    /// Does nothing; derived descriptors override it.
    void Check(const Class* owner, const FunctionTable* table) const override;

    /// The script name of the class the function belongs to.
    const wchar_t* GetOwningClassName() const { return m_owningClassName; }

    /// The entry through which a host may call the function without boxing its arguments
    /// (TypedCall.h), or null. Functions described with ClassBuilder have one; a copy has none.
    const TypedEntry* GetTypedEntry() const { return m_typedEntry; }

protected:
    /// A descriptor without arguments. `owningClassName` is the script name of the class;
    /// `style` holds FunctionStyle bits and may add ImplementedOnWrapperFlag.
    Function(const wchar_t* name, const wchar_t* owningClassName,
             const wchar_t* introducingModuleName, bool isConst, int style);

    /// Throws message 0xED0008 when `object` is null: the function was invoked on an object
    /// whose value (`objectValue`) is not of the expected type.
    void CheckNonNullObject(const void* object, const Value& objectValue,
                            const DataType& expectedType) const;

    /// Offers `entry` (owned by the derived descriptor, which outlives it) to hosts; null takes
    /// it back.
    void SetTypedEntry(const TypedEntry* entry) { m_typedEntry = entry; }

private:
    const wchar_t* m_name;
    const wchar_t* m_owningClassName;
    const wchar_t* m_introducingModuleName;
    bool m_isConst;
    int m_style;
    std::vector<Argument> m_arguments;
    ArgumentSpecificationStyle m_outputArgumentStyle;
    const TypedEntry* m_typedEntry = nullptr;
};

/// A function descriptor whose Invoke calls a C++ callable: the shortest way for a module to
/// describe a function.
///
///     auto area = boost::make_shared<NativeFunction>(L"Area", L"Shapes::Circle", L"Shapes",
///         true, InstanceStyle, [](const Value& self, std::vector<Value>& args) { ... });
class VELMORAND_API NativeFunction : public Function {
public:
    /// The native code of the function; receives what Invoke receives.
    typedef std::function<void(const Value& object, std::vector<Value>& arguments)> Body;

    /// As Function's constructor; `body` runs on every Invoke.
    NativeFunction(const wchar_t* name, const wchar_t* owningClassName,
                   const wchar_t* introducingModuleName, bool isConst, int style, Body body);
    ~NativeFunction() override;

    /// Calls the body; its exceptions pass through. Without a body, raises message 0xED000A
    /// ("Call to non-applicable function Class::Name.").
    void Invoke(const Value& object, std::vector<Value>& arguments) const override;

private:
    Body m_body;
};

/// A function withdrawn or renamed, kept under its old name so that old scripts get a clear
/// answer. The script host calls PreInvoke before invoking a function of style DeprecatedStyle.
class VELMORAND_API DeprecatedFunction : public Function {
public:
    /// Copies the descriptor and its behaviour word.
    DeprecatedFunction(const DeprecatedFunction& other);
    /// Copies the descriptor and its behaviour word.
    DeprecatedFunction& operator=(const DeprecatedFunction& other);
    ~DeprecatedFunction() override;

    /// Does nothing: a deprecated descriptor never runs native code.
    void Invoke(const Value& object, std::vector<Value>& arguments) const override;

    /// "Replaced", "Renamed", "Removed", or "" for a module's own kind.
    virtual const wchar_t* GetDeprecationType() const;
    /// What replaces the function: the replacing functions, or the new name.
    virtual const wchar_t* GetDelegateFunctionNames() const;

    /// Acts on the low four bits of the behaviour word: 1 returns true; 2 sends the deprecation
    /// message to the script as a warning and returns false (skipped with an empty context);
    /// 4 throws it as a ScriptException; anything else returns false. `function` is untouched.
    bool PreInvoke(boost::shared_ptr<IScriptContext> context, const std::wstring& className,
                   boost::shared_ptr<IFunction>& function) const;

    /// Message 0xED0019 for a module that reports a deprecation of its own.
    static std::wstring GenerateGenericDeprecationMessage(const std::wstring& className,
                                                          const std::wstring& functionName);

    /// The behaviour word that PreInvoke acts on.
    int GetBehaviour() const { return m_behaviour; }

protected:
    /// A non-const descriptor whose style is `style` plus DeprecatedStyle.
    DeprecatedFunction(const wchar_t* name, const wchar_t* owningClassName,
                       const wchar_t* introducingModuleName, int style, int behaviour);

    /// The deprecation message for a call through `className`.
    virtual std::wstring GenerateMessage(const std::wstring& className) const = 0;
    /// Formats `messageId` with the class name, this function's name and `delegateNames`.
    std::wstring GenerateMessage(const std::wstring& className, unsigned int messageId,
                                 const wchar_t* delegateNames) const;

private:
    int m_behaviour;
};

/// Replaced by functions that are not call-compatible: calls fail with message 0xED0016.
class VELMORAND_API DeprecatedReplacedFunction : public DeprecatedFunction {
public:
    /// `delegateFunctionNames` names the replacing functions for the message.
    DeprecatedReplacedFunction(const wchar_t* name, const wchar_t* owningClassName,
                               const wchar_t* introducingModuleName, int style,
                               const wchar_t* delegateFunctionNames);
    /// Copies the descriptor.
    DeprecatedReplacedFunction(const DeprecatedReplacedFunction& other);
    /// Copies the descriptor.
    DeprecatedReplacedFunction& operator=(const DeprecatedReplacedFunction& other);
    ~DeprecatedReplacedFunction() override;

    const wchar_t* GetDeprecationType() const override;
    const wchar_t* GetDelegateFunctionNames() const override { return m_delegateFunctionNames; }

protected:
    std::wstring GenerateMessage(const std::wstring& className) const override;

private:
    const wchar_t* m_delegateFunctionNames;
};

/// Renamed: calls warn with message 0xED0017 and go on under the new name (the host's task).
class VELMORAND_API DeprecatedRenamedFunction : public DeprecatedFunction {
public:
    /// `newName` is the function's current name on the same class.
    DeprecatedRenamedFunction(const wchar_t* name, const wchar_t* owningClassName,
                              const wchar_t* introducingModuleName, int style,
                              const wchar_t* newName);
    /// Copies the descriptor.
    DeprecatedRenamedFunction(const DeprecatedRenamedFunction& other);
    /// Copies the descriptor.
    DeprecatedRenamedFunction& operator=(const DeprecatedRenamedFunction& other);
    ~DeprecatedRenamedFunction() override;

    const wchar_t* GetDeprecationType() const override;
    const wchar_t* GetDelegateFunctionNames() const override { return m_delegateFunctionNames; }
    /// Throws when neither the class nor a base class has a function of the new name.
    void Check(const Class* owner, const FunctionTable* table) const override;

protected:
    std::wstring GenerateMessage(const std::wstring& className) const override;

private:
    const wchar_t* m_delegateFunctionNames;
};

/// Removed without replacement: calls fail with message 0xED0018.
class VELMORAND_API DeprecatedRemovedFunction : public DeprecatedFunction {
public:
    /// `delegateFunctionNames` is kept for GetDelegateFunctionNames; the message does not use it.
    DeprecatedRemovedFunction(const wchar_t* name, const wchar_t* owningClassName,
                              const wchar_t* introducingModuleName, int style,
                              const wchar_t* delegateFunctionNames);
    /// Copies the descriptor.
    DeprecatedRemovedFunction(const DeprecatedRemovedFunction& other);
    /// Copies the descriptor.
    DeprecatedRemovedFunction& operator=(const DeprecatedRemovedFunction& other);
    ~DeprecatedRemovedFunction() override;

    const wchar_t* GetDeprecationType() const override;
    const wchar_t* GetDelegateFunctionNames() const override { return m_delegateFunctionNames; }

protected:
    std::wstring GenerateMessage(const std::wstring& className) const override;

private:
    const wchar_t* m_delegateFunctionNames;
};

class InheritedFunctions;

/// A script-visible class: the native type of its instances, its script name, the script name
/// of its base class, and its functions. Always owned through boost::shared_ptr<Class>.
class VELMORAND_API Class : public boost::enable_shared_from_this<Class> {
public:
    /// `baseScriptName` may be null or "" for a class without a base.
    Class(const DataType& type, const wchar_t* scriptName, const wchar_t* baseScriptName,
          const wchar_t* introducingModuleName, bool hidden);
    /// The copy shares the function table and the resolved base.
    Class(const Class& other);
    /// Takes the texts, type and flag of `other` and shares its function table and resolved base.
    /// What any class remembered of lookups in its base chain is forgotten.
    Class& operator=(const Class& other);
    virtual ~Class();

    /// Whether scripts should not see the class (wrappers name its first visible base instead).
    virtual bool IsHidden() const { return m_hidden; }
    /// Always "".
    virtual const wchar_t* GetDescription() const;
    /// The name scripts know the class by.
    virtual const wchar_t* GetScriptName() const { return m_scriptName; }
    /// The native type of the class's instances.
    virtual const DataType& GetDataType() const { return m_type; }
    /// The base class, resolved by script name on first use; an empty pointer for a class
    /// without a base. Throws message 0xED0007 while the base is not registered.
    virtual boost::shared_ptr<Class> GetScriptBase();
    /// The name of the application module that introduced the class.
    virtual const wchar_t* GetIntroducingModuleName() const { return m_introducingModuleName; }
    /// The function of the name matching the lowest requested style bit in this class, else in
    /// its base chain; an empty pointer when none matches.
    virtual boost::shared_ptr<IFunction> FindFunction(const std::wstring& name, long styleMask,
                                                      const boost::shared_ptr<IObject>& object);
    /// Adds the functions of the base chain (outermost first) and then this class's own to
    /// `functions`, keeping entries already present under an equivalent key.
    virtual void GetAllFunctions(FunctionMap& functions) const;
    /// A script-visible array of all functions of the class and its base chain, in key order.
    virtual boost::shared_ptr<const IArray> GetClassFunctions();
    /// A new wrapper (an Object) presenting `value` as an instance of this class.
    virtual boost::shared_ptr<IObject> CreateWrapper(const Value& value);
    /// Enters the function under (its name, its style); replaces the function of an
    /// equivalent entry.
    virtual void AddFunction(boost::shared_ptr<IFunction> function);
    /// Runs the check of every own function.
    virtual void Check() const;

    /// The script name of the base class as given (may be null).
    const wchar_t* GetBaseScriptName() const { return m_baseScriptName; }

private:
    DataType m_type;
    const wchar_t* m_scriptName;
    const wchar_t* m_baseScriptName;
    const wchar_t* m_introducingModuleName;
    /// FindFunction's search of the base chain, into `function`, once the own table has no
    /// match; out of line, so that the other lookups need not save what it uses.
    void FindInBases(const std::wstring& name, std::size_t nameHash, long styleMask,
                     const boost::shared_ptr<IObject>& object, bool logging,
                     boost::shared_ptr<IFunction>& function);
    /// Whether this class and its resolved base chain are all plain Class descriptors, whose
    /// lookups depend on nothing but their tables.
    bool HasPlainChain() const;
    /// Keeps what the base chain found for a lookup, or that it found nothing (an empty
    /// `function`); a failure to allocate only loses that.
    void RememberInherited(const std::wstring& name, std::size_t nameHash, long styleMask,
                           const boost::shared_ptr<IFunction>& function);

    boost::shared_ptr<Class> m_scriptBase;
    bool m_hidden;
    boost::shared_ptr<FunctionTable> m_functions;
    /// Lookups the base chain answered, misses too, kept for plain chains; each copy keeps its
    /// own. Made on the first remembered lookup, which may run on several threads at once; owned.
    std::atomic<InheritedFunctions*> m_inherited;
};

/// The process-wide catalogue of script classes, by script name and by native type.
/// First registration wins in each index; classes live until the process ends.
class VELMORAND_API ClassRegistry {
public:
    /// Orders script names by code unit as unsigned numbers, as function names are ordered
    /// (std::wstring's own order compares the signed wchar_t).
    struct ScriptNameLess {
        /// Whether `a` comes before `b`.
        bool operator()(const std::wstring& a, const std::wstring& b) const {
            return FunctionKeyLess::CompareNames(a.data(), a.size(), b.data(), b.size()) < 0;
        }
    };
    /// Classes by script name, in script-name order.
    typedef std::map<std::wstring, boost::shared_ptr<Class>, ScriptNameLess> ClassesByName;

    /// The single instance, created on first use.
    static ClassRegistry& GetInstance();

    /// Copies both indexes; the copy shares the classes.
    ClassRegistry(const ClassRegistry& other);
    virtual ~ClassRegistry();

    /// Registers the class under its script name and under its native type; an index that
    /// already holds the key keeps its entry, silently. `scriptClass` must not be empty.
    void AddClass(boost::shared_ptr<Class> scriptClass);
    /// Exact, case-sensitive; an empty pointer when no class has the name.
    boost::shared_ptr<Class> FindClassByScriptName(const std::wstring& scriptName) const;
    /// The class of the value's derived type, else of its declared type; no base classes.
    boost::shared_ptr<Class> FindClassByCppType(const Value& value) const;
    /// Every class registered under a script name.
    const ClassesByName& GetClasses() const { return m_byName; }
    /// Resolves every base class and runs every class's Check, in script-name order; the first
    /// exception ends the pass. A cycle of base classes is rejected with a ScriptException.
    void CheckClasses() const;
    /// A script-visible array of all registered classes, in script-name order.
    boost::shared_ptr<const IArray> GetRegisteredClasses() const;

private:
    ClassRegistry();

    ClassesByName m_byName;
    /// The same classes by script name, hashed: finding a class by name costs the same with ten
    /// classes or ten thousand. Holds exactly the entries of m_byName.
    std::unordered_map<std::wstring, boost::shared_ptr<Class>> m_byNameHashed;
    std::map<DataType, boost::shared_ptr<Class>> m_byType;
};

}  // namespace VelmorandScript
