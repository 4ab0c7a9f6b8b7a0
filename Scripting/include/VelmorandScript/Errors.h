#pragma once

/// @file
/// Errors and diagnostics: the exceptions raised to scripts, the ids of the message table, the
/// trace log "script.log" and the builder of argument errors.

#include <VelmorandScript/Export.h>

#include <Common/Exception.h>

#include <string>

namespace VelmorandScript {

class IScriptCall;

/// Ids of the library's message table, registered with Common::StringLoader while the library is
/// loaded. Texts with placeholders are formatted with Common::CfxFormat.
namespace Messages {
/// The module number of the table: every id is (ModuleId << 16) + index.
constexpr unsigned int ModuleId = 0xED;
/// "Unknown error."
constexpr unsigned int UnknownError = 0xED0000;
/// "Script was canceled."
constexpr unsigned int ScriptCanceled = 0xED0001;
/// "No valid conversion from %1."
constexpr unsigned int NoConversionFrom = 0xED0002;
/// "No valid conversion from %1 to %2"
constexpr unsigned int NoConversion = 0xED0003;
/// "Bad cast from empty value to type %1."
constexpr unsigned int BadCastFromEmpty = 0xED0004;
/// "Bad cast from type %1 to type %2."
constexpr unsigned int BadCast = 0xED0005;
/// "Unable to cast object from %1 to %2 - object is not of type %2, it is an unrelated type %3."
constexpr unsigned int UnrelatedObjectType = 0xED0006;
/// "Base class %1 of class %2 has not been defined."
constexpr unsigned int BaseClassUndefined = 0xED0007;
/// "Function %1 was invoked on an object of an incompatible type %2, not the expected type %3."
constexpr unsigned int IncompatibleObject = 0xED0008;
/// "Duplicate function %1 registered on class %2."
constexpr unsigned int DuplicateFunction = 0xED0009;
/// "Call to non-applicable function %1."
constexpr unsigned int NonApplicableFunction = 0xED000A;
/// "Loss of precision in conversion from %1 to %2 (original value %3 converted to %4)."
constexpr unsigned int LossOfPrecision = 0xED000B;
/// "Failed to convert the string value %1 to %2."
constexpr unsigned int StringConversionFailed = 0xED000C;
/// "Invalid cast of null-pointer to expected type %1."
constexpr unsigned int NullPointerCast = 0xED000D;
/// "%1 (argument #%2, calling %3)."
constexpr unsigned int ArgumentErrorByNumber = 0xED000E;
/// "%1 (argument %2, calling %3)."
constexpr unsigned int ArgumentErrorByName = 0xED000F;
/// "Unknown class %1."
constexpr unsigned int UnknownClass = 0xED0010;
/// "Unhandled document type %1 - a standard VelmorandScript::IDocument is returned instead."
constexpr unsigned int UnhandledDocumentType = 0xED0011;
/// "String"
constexpr unsigned int StringTypeName = 0xED0012;
/// "<Class Name>"
constexpr unsigned int ClassNamePlaceholder = 0xED0013;
/// "Array"
constexpr unsigned int ArrayTypeName = 0xED0014;
/// "The script was canceled."
constexpr unsigned int ScriptWasCanceled = 0xED0015;
/// "The API %1::%2 has been deprecated and replaced with the non-compatible API(s) %3. Please refer
/// to the documentation and update your scripts to use the new API(s) instead."
constexpr unsigned int DeprecatedReplaced = 0xED0016;
/// "The API %1::%2 has been renamed to %1::%3, which will automatically be called until the script
/// is updated. Please refer to the documentation and update your scripts to use the renamed API
/// instead."
constexpr unsigned int DeprecatedRenamed = 0xED0017;
/// "The API %1::%2 has been deprecated and removed. Please refer to the documentation and update
/// your scripts accordingly."
constexpr unsigned int DeprecatedRemoved = 0xED0018;
/// "The API %1::%2 has been deprecated and may be removed without notice. Please refer to the
/// documentation and update your scripts accordingly."
constexpr unsigned int DeprecatedGeneric = 0xED0019;
/// "calling %1: %2"
constexpr unsigned int CallingFunction = 0xED001A;
/// "%1::%2: argument %3 has the native type %4, which no registered class describes."
constexpr unsigned int UnregisteredArgumentClass = 0xED001B;
/// "%1 names %2 parameters, but the function has %3 that scripts pass."
constexpr unsigned int ParameterNameCount = 0xED001C;
/// The number of messages in the table (indexes 0 to Count - 1).
constexpr unsigned int Count = 29;
}  // namespace Messages

/// An error raised to the script. Catchable as Common::Exception and std::exception.
class VELMORAND_API ScriptException : public Common::Exception {
public:
    /// Carries `message` as it stands.
    explicit ScriptException(const std::wstring& message);
    /// The unformatted text of a message id (placeholders stay as they are).
    explicit ScriptException(unsigned int messageId);
    /// Shares the message: copying allocates nothing and cannot fail.
    ScriptException(const ScriptException& other) noexcept;
    /// Copies the message.
    ScriptException& operator=(const ScriptException& other) noexcept;
    ~ScriptException() override;
};

/// The script was cancelled: "The script was canceled.".
class VELMORAND_API ScriptCancelException : public ScriptException {
public:
    /// Carries the text of message 0xED0015.
    ScriptCancelException();
    /// Copies the message.
    ScriptCancelException(const ScriptCancelException& other) noexcept;
    /// Copies the message.
    ScriptCancelException& operator=(const ScriptCancelException& other) noexcept;
    ~ScriptCancelException() override;
};

/// The script is to be aborted, for instance because its notification handler asked for it.
class VELMORAND_API ScriptAbortException : public ScriptException {
public:
    /// Carries `message` as it stands (for a notification: the notification's text).
    explicit ScriptAbortException(const std::wstring& message);
    /// Copies the message.
    ScriptAbortException(const ScriptAbortException& other) noexcept;
    /// Copies the message.
    ScriptAbortException& operator=(const ScriptAbortException& other) noexcept;
    ~ScriptAbortException() override;
};

/// Whether the trace log is on: the environment variable "ENABLE_SCRIPT_LOGGING" existed (with
/// any value) when this was first asked. Later changes of the environment are not seen.
VELMORAND_API bool IsScripLoggingEnabled();

/// Appends `indent` tabs, the message as it stands (UTF-8) and, when `newLine`, a line break to
/// "script.log" in the working directory. `restart` truncates the file first and resets the
/// address ids. `reserved` has no effect. Fails silently when the file cannot be opened.
/// Does not consult IsScripLoggingEnabled: writers ask it first.
VELMORAND_API void DebugLog(const std::wstring& message, long indent, long reserved, bool newLine,
                            bool restart);

/// A short number for an address, for the trace log: 0, 1, 2, ... in the order addresses are
/// first seen after a restart of the log. `release` forgets the address and returns 0.
VELMORAND_API unsigned int GetAddressId(const void* address, bool release);

/// The names of the style flags set in `style`, joined by " | " ("instance | command"), or
/// "[empty]" when none of the named flags is set.
VELMORAND_API std::wstring GetFunctionStyleName(long style);

/// Throws a ScriptException that decorates `message` with the argument and the called function
/// of `call`: "<message> (argument #2, calling F)." or "<message> (argument name, calling F).".
/// `index` counts from 0.
[[noreturn]] VELMORAND_API void GenerateArgumentError(const std::wstring& message,
                                                      const IScriptCall* call, unsigned int index,
                                                      const std::wstring& name);

}  // namespace VelmorandScript
