#include "Annotations.h"

#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

using Common::ToUtf8;

// The Lua host looks these up on objects and class tables with these masks.
constexpr long methodStyles = InstanceStyle | CommandStyle;
const boost::shared_ptr<IObject> noObject;

std::string Text(const wchar_t* text) {
    return text != nullptr ? ToUtf8(text) : std::string();
}

using Hosting::SplitScriptName;

bool IsKeyword(const std::string& word) {
    static const std::set<std::string> keywords = {
        "and",      "break",  "do",   "else", "elseif", "end",  "false", "for",
        "function", "goto",   "if",   "in",   "local",  "nil",  "not",   "or",
        "repeat",   "return", "then", "true", "until",  "while"};
    return keywords.count(word) != 0;
}

bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

/// Whether `word` may stand as a Lua name (ASCII letters, digits and "_" only).
bool IsName(const std::string& word) {
    if (word.empty() || !IsNameStart(word[0]) || IsKeyword(word)) {
        return false;
    }
    for (const char c : word) {
        if (!IsNameStart(c) && !IsAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            quoted += "\\" + std::to_string(static_cast<unsigned char>(c));
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

/// `table.key`, or `table["key"]` for a key that is no Lua name.
std::string Member(const std::string& table, const std::string& key) {
    return IsName(key) ? table + "." + key : table + "[" + Quote(key) + "]";
}

/// The Lua expression of the table of the first `count` parts of a script name: the host puts
/// Shapes::Circle at Shapes.Circle.
std::string TablePath(const std::vector<std::wstring>& parts, std::size_t count) {
    const std::string first = ToUtf8(parts[0]);
    std::string path = IsName(first) ? first : "_ENV[" + Quote(first) + "]";
    for (std::size_t i = 1; i < count; ++i) {
        path = Member(path, ToUtf8(parts[i]));
    }
    return path;
}

/// The name LuaLS knows a class by: its script name with dots.
std::string AnnotationName(const Class& scriptClass) {
    const wchar_t* scriptName = scriptClass.GetScriptName();
    const std::vector<std::wstring> parts =
        SplitScriptName(scriptName != nullptr ? scriptName : L"");
    std::string name = ToUtf8(parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        name += "." + ToUtf8(parts[i]);
    }
    return name;
}

/// The LuaLS type of a descriptor's script type; "any" for what it cannot name better.
std::string LuaType(const wchar_t* scriptType) {
    switch (Hosting::KindOfScriptType(scriptType)) {
        case Hosting::ScriptTypeKind::Number:
            return "number";
        case Hosting::ScriptTypeKind::Integer:
            return "integer";
        case Hosting::ScriptTypeKind::Boolean:
            return "boolean";
        case Hosting::ScriptTypeKind::Text:
            return "string";
        case Hosting::ScriptTypeKind::Function:
            return "function";
        case Hosting::ScriptTypeKind::Hash:
            return "table";
        case Hosting::ScriptTypeKind::Array:
            return "any[]";
        case Hosting::ScriptTypeKind::Object:
            if (const boost::shared_ptr<Class> scriptClass = Hosting::FirstVisibleClass(
                    ClassRegistry::GetInstance().FindClassByScriptName(scriptType))) {
                return AnnotationName(*scriptClass);
            }
            return "any";
        case Hosting::ScriptTypeKind::Any:
            break;
    }
    return "any";
}

/// A parameter name Lua takes, unique among `taken`: "function" becomes "function_", a missing
/// name "argN" (N counting the descriptors from 1).
std::string ParameterName(const wchar_t* name, std::size_t position, std::set<std::string>& taken) {
    std::string result = Text(name);
    for (char& c : result) {
        if (!IsNameStart(c) && !IsAsciiDigit(c)) {
            c = '_';
        }
    }
    if (result.empty()) {
        result = "arg" + std::to_string(position + 1);
    } else if (IsAsciiDigit(result[0])) {
        result = "_" + result;
    }
    while (IsKeyword(result) || taken.count(result) != 0) {
        result += "_";
    }
    taken.insert(result);
    return result;
}

void WriteComment(std::ostream& out, const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        out << "--- " << text.substr(start, end - start) << '\n';
        start = end + 1;
    }
}

/// The note on a deprecated function: its kind and what replaces it. Empty for other functions.
std::string DeprecationNote(const IFunction& function) {
    const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function);
    if ((function.GetStyle() & DeprecatedStyle) == 0 || deprecated == nullptr) {
        return std::string();
    }
    const std::string kind = Text(deprecated->GetDeprecationType());
    const std::string replacement = Text(deprecated->GetDelegateFunctionNames());
    return "Deprecated" + (kind.empty() ? std::string() : " (" + kind + ")") +
           (replacement.empty() ? std::string(".") : ": use " + replacement + " instead.");
}

/// Writes the annotations and the empty definition of one callable: `self` for a method, and
/// `resultType` in place of the return value's own type (constructors return their class).
void WriteFunction(std::ostream& out, const IFunction& function, const std::string& table,
                   const std::string& name, bool method, const std::string& resultType) {
    out << '\n';
    const std::string description = Text(function.GetDescription());
    if (!description.empty()) {
        WriteComment(out, description);
    }
    const std::string note = DeprecationNote(function);
    if (!note.empty()) {
        WriteComment(out, note);
        out << "---@deprecated\n";
    }
    const std::vector<Argument>& arguments = function.GetArguments();
    std::set<std::string> taken;
    if (method) {
        taken.insert("self");
    }
    std::string parameters;
    if (arguments.empty() && !note.empty()) {
        // A deprecated descriptor declares nothing: a rename runs under its new name with
        // whatever the script passes.
        out << "---@param ... any\n";
        parameters = "...";
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Argument& argument = arguments[i];
        if (Hosting::IsContextArgument(argument) ||
            !Hosting::IsScriptInputStyle(argument.GetStyle())) {
            continue;
        }
        const std::string parameter = ParameterName(argument.GetName(), i, taken);
        out << "---@param " << parameter << (argument.IsOptional() ? "?" : "") << ' '
            << LuaType(argument.GetScriptType());
        const std::string defaultValue = Text(argument.GetScriptDefaultValue());
        if (argument.IsOptional() && !defaultValue.empty()) {
            out << " default " << defaultValue;
        }
        out << '\n';
        parameters += (parameters.empty() ? "" : ", ") + parameter;
    }
    // The script receives the return value first, then the output arguments.
    for (const Argument& argument : arguments) {
        if (Hosting::IsScriptResult(argument)) {
            out << "---@return "
                << (resultType.empty() ? LuaType(argument.GetScriptType()) : resultType) << '\n';
        }
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Argument& argument = arguments[i];
        if (Hosting::IsScriptOutput(argument.GetStyle()) && !Hosting::IsContextArgument(argument)) {
            out << "---@return " << LuaType(argument.GetScriptType()) << ' '
                << ParameterName(argument.GetName(), i, taken) << '\n';
        }
    }
    if (IsName(name)) {
        out << "function " << table << (method ? ":" : ".") << name << '(' << parameters
            << ") end\n";
    } else {
        const std::string self = method ? (parameters.empty() ? "self" : "self, ") : "";
        out << table << '[' << Quote(name) << "] = function(" << self << parameters << ") end\n";
    }
}

/// The type of a property: the getter's result, else the value the setter takes.
std::string PropertyType(const boost::shared_ptr<IFunction>& getter,
                         const boost::shared_ptr<IFunction>& setter) {
    if (getter) {
        for (const Argument& argument : getter->GetArguments()) {
            if (Hosting::IsScriptResult(argument)) {
                return LuaType(argument.GetScriptType());
            }
        }
    }
    if (setter) {
        for (const Argument& argument : setter->GetArguments()) {
            if (!Hosting::IsContextArgument(argument) &&
                Hosting::IsScriptInputStyle(argument.GetStyle())) {
                return LuaType(argument.GetScriptType());
            }
        }
    }
    return "any";
}

void WriteProperties(std::ostream& out, const boost::shared_ptr<Class>& scriptClass,
                     const FunctionMap& functions) {
    std::set<std::wstring> written;
    for (const auto& entry : functions) {
        const std::wstring& name = entry.first.first;
        if ((entry.first.second & (PropertyGetStyle | PropertySetStyle)) == 0 ||
            !written.insert(name).second) {
            continue;
        }
        // What the host reads and writes: each lookup may find a different descriptor.
        const boost::shared_ptr<IFunction> getter =
            Hosting::FindScriptFunction(scriptClass, name, PropertyGetStyle, noObject);
        const boost::shared_ptr<IFunction> setter =
            Hosting::FindScriptFunction(scriptClass, name, PropertySetStyle, noObject);
        std::string note = getter && !setter ? "read-only" : (getter ? "" : "write-only");
        for (const auto& function : {getter, setter}) {
            const std::string deprecation = function ? DeprecationNote(*function) : "";
            if (!deprecation.empty()) {
                note += (note.empty() ? "" : "; ") + deprecation;
                break;
            }
        }
        const std::string field = ToUtf8(name);
        out << "---@field " << (IsName(field) ? field : "[" + Quote(field) + "]") << ' '
            << PropertyType(getter, setter) << (note.empty() ? "" : " " + note) << '\n';
    }
}

void WriteClass(std::ostream& out, const boost::shared_ptr<Class>& scriptClass,
                std::set<std::string>& declaredTables) {
    const std::vector<std::wstring> parts = SplitScriptName(scriptClass->GetScriptName());
    out << '\n';
    // The host makes the enclosing tables; LuaLS needs to see them declared.
    for (std::size_t count = 1; count < parts.size(); ++count) {
        const std::string path = TablePath(parts, count);
        if (declaredTables.insert(path).second) {
            out << path << " = " << path << " or {}\n";
        }
    }
    const std::string className = AnnotationName(*scriptClass);
    out << "---@class " << className;
    if (const boost::shared_ptr<Class> base =
            Hosting::FirstVisibleClass(scriptClass->GetScriptBase())) {
        out << " : " << AnnotationName(*base);
    }
    out << '\n';
    FunctionMap functions;
    scriptClass->GetAllFunctions(functions);
    WriteProperties(out, scriptClass, functions);
    const std::string table = TablePath(parts, parts.size());
    out << table << (declaredTables.insert(table).second ? " = {}" : " = " + table + " or {}")
        << '\n';

    if (const boost::shared_ptr<IFunction> constructor =
            Hosting::FindScriptFunction(scriptClass, parts.back(), ConstructorStyle, noObject)) {
        WriteFunction(out, *constructor, table, "new", false, className);
    }
    std::set<std::wstring> statics, methods;
    for (const auto& entry : functions) {
        const std::wstring& name = entry.first.first;
        const long style = entry.first.second;
        if ((style & StaticStyle) != 0 && statics.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, StaticStyle, noObject)) {
                WriteFunction(out, *function, table, ToUtf8(name), false, "");
            }
        }
        if ((style & methodStyles) != 0 && methods.insert(name).second) {
            if (const auto function =
                    Hosting::FindScriptFunction(scriptClass, name, methodStyles, noObject)) {
                WriteFunction(out, *function, table, ToUtf8(name), true, "");
            }
        }
    }
}

// The host's own library, which Library.cpp opens in every context.
const char* const velmorandLibrary =
    "velmorand = {}\n"
    "\n"
    "--- Every registered class, in script-name order.\n"
    "---@return VelmorandScript.Class[]\n"
    "function velmorand.classes() end\n"
    "\n"
    "--- The class registered under a script name, or nil.\n"
    "---@param name string\n"
    "---@return VelmorandScript.Class?\n"
    "function velmorand.class(name) end\n"
    "\n"
    "--- Sets the handler of warnings (kind 1 for a warning) and returns the previous one;\n"
    "--- the handler returning the integer 0 aborts the script.\n"
    "---@param handler? fun(kind: integer, text: string): integer?\n"
    "---@return function?\n"
    "function velmorand.on_event(handler) end\n"
    "\n"
    "--- The names of a function style's flags.\n"
    "---@param style integer\n"
    "---@return string\n"
    "function velmorand.style_name(style) end\n";

}  // namespace

void WriteAnnotations(std::ostream& out) {
    out << "---@meta velmorand\n"
           "-- LuaLS annotations of the script classes of velmorand-lua, written by\n"
           "-- `velmorand-lua --annotations`; write them again when the modules change.\n"
           "-- Never run: the host makes these tables itself.\n"
           "\n"
        << velmorandLibrary;
    std::set<std::string> declaredTables;
    for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
        if (!entry.second->IsHidden()) {
            WriteClass(out, entry.second, declaredTables);
        }
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
