-- velmorand-lua --annotations against the listings: every visible class, property, method,
-- static function and constructor, with its parameters in order, their types and the results.
local check = require("check")

local function quote(text) return "'" .. text:gsub("'", "'\\''") .. "'" end
local pipe = assert(io.popen(quote(arg[-1]) .. " --annotations"))
local text = pipe:read("a")
local ok, how, status = pipe:close()
check.equal(tostring(ok) .. " " .. how .. " " .. status, "true exit 0", "exit status")
assert(load(text, "=annotations"))  -- valid Lua: no parameter named like a keyword

-- What the text declares: classes with their base and fields, and each function with the
-- ---@ lines above it.
local classes, functions, current = {}, {}, nil
local comments, params, returns, deprecated = {}, {}, {}, false
for line in text:gmatch("[^\n]*") do
    local name, base = line:match("^%-%-%-@class ([%w_.]+)%s*:?%s*([%w_.]*)$")
    if name then
        current = {base = base ~= "" and base or nil, fields = {}}
        classes[name] = current
    elseif line:match("^%-%-%-@field ") then
        local field, fieldType, note = line:match("^%-%-%-@field (%S+) (%S+)%s*(.*)$")
        current.fields[field] = {type = fieldType, note = note}
    elseif line:match("^%-%-%-@param ") then
        local param, paramType, rest = line:match("^%-%-%-@param (%S+) (%S+)%s*(.*)$")
        params[#params + 1] = {name = param, type = paramType, text = rest}
    elseif line:match("^%-%-%-@return ") then
        returns[#returns + 1] = line:match("^%-%-%-@return (.*)$")
    elseif line == "---@deprecated" then
        deprecated = true
    elseif line:match("^%-%-%- ") then
        comments[#comments + 1] = line:sub(5)
    elseif line:match("^function ") then
        local key, list = line:match("^function ([%w_.:]+)%((.-)%) end$")
        assert(key and not functions[key], "function line: " .. line)
        functions[key] = {list = list, params = params, returns = returns,
                          deprecated = deprecated, comment = table.concat(comments, " ")}
        comments, params, returns, deprecated = {}, {}, {}, false
    end
end

local fixed = {
    double = "number", float = "number", long = "integer", int = "integer",
    ["unsigned long"] = "integer", ["unsigned int"] = "integer", ["unsigned char"] = "integer",
    char = "integer", bool = "boolean", String = "string", any = "any", ["function"] = "function",
    table = "table", ["VelmorandScript::Array"] = "any[]",
}
local function luaType(scriptType)
    if fixed[scriptType] then return fixed[scriptType] end
    local class = velmorand.class(scriptType)
    while class and class.hidden do class = class.base and velmorand.class(class.base) end
    return class and class.name:gsub("::", ".") or "any"
end
local keywords = {}
for word in ("and break do else elseif end false for function goto if in local nil not or " ..
             "repeat return then true until while"):gmatch("%a+") do keywords[word] = true end
local function paramName(name) return keywords[name] and name .. "_" or name end

local function isInput(a)
    return a.type ~= "VelmorandScript::IScriptContext" and a.style & 4 == 0 and
           (a.style & 1 ~= 0 or a.style & 2 == 0)
end

-- The parameters and results the listing gives a function, against its declaration.
local function checkSignature(f, key, resultType)
    local declared = functions[key]
    assert(declared, "missing function " .. key)
    local names, results, outputs = {}, {}, {}
    local arguments = f:arguments()
    if #arguments == 0 and f.deprecation then names[1] = "..." end
    for _, a in ipairs(arguments) do
        if isInput(a) then
            local param = declared.params[#names + 1]
            local what = key .. " parameter " .. a.name
            check.equal(param and param.name, paramName(a.name) .. (a.optional and "?" or ""), what)
            check.equal(param.type, luaType(a.script_type), what .. " type")
            if a.optional and a.default then
                assert(param.text:find(a.default, 1, true), what .. " default")
            end
            names[#names + 1] = paramName(a.name)
        end
        if a.style & 4 ~= 0 then
            results[#results + 1] = resultType or luaType(a.script_type)
        elseif a.style & 2 ~= 0 then
            outputs[#outputs + 1] = luaType(a.script_type) .. " " .. paramName(a.name)
        end
    end
    check.equal(declared.list, table.concat(names, ", "), key .. " parameter list")
    check.equal(#declared.params, #names, key .. " parameter count")
    for _, output in ipairs(outputs) do results[#results + 1] = output end
    check.equal(table.concat(declared.returns, "|"), table.concat(results, "|"), key .. " results")
    check.equal(declared.deprecated, f.deprecation ~= nil, key .. " deprecation")
    if f.replacement then
        assert(declared.comment:find(f.replacement, 1, true), key .. " names its replacement")
    end
end

local visible, expectedFunctions = 0, 0
for _, class in ipairs(velmorand.classes()) do
    local name = class.name:gsub("::", ".")
    if class.hidden then
        check.equal(classes[name], nil, "hidden class " .. name)
    else
        visible = visible + 1
        local declared = classes[name]
        assert(declared, "missing class " .. name)
        check.equal(declared.base, class.base and luaType(class.base), name .. " base")
        local constructorName = class.name:match("([^:]+)$")
        local seen, setters = {}, {}
        for _, f in ipairs(class:functions()) do
            if f.style_bits & 0x10 ~= 0 then setters[f.name] = true end
        end
        for _, f in ipairs(class:functions()) do
            local bits = f.style_bits
            if bits & 0x8 ~= 0 then
                local field = declared.fields[f.name]
                assert(field, "missing property " .. name .. "." .. f.name)
                local result
                for _, a in ipairs(f:arguments()) do
                    if a.style & 4 ~= 0 then result = a end
                end
                check.equal(field.type, luaType(result.script_type), name .. "." .. f.name)
                check.equal(field.note:find("read-only", 1, true) == nil, setters[f.name] == true,
                            name .. "." .. f.name .. " settable")
            end
            local keys = {}
            if bits & 0x4 ~= 0 and f.name == constructorName then keys[name .. ".new"] = name end
            if bits & 0x1 ~= 0 then keys[name .. "." .. f.name] = false end
            if bits & 0x22 ~= 0 then keys[name .. ":" .. f.name] = false end
            for key, resultType in pairs(keys) do
                checkSignature(f, key, resultType or nil)
                if not seen[key] then expectedFunctions, seen[key] = expectedFunctions + 1, true end
            end
        end
    end
end

-- Nothing besides: the declared classes and the functions of their tables.
local declaredClasses, declaredFunctions = 0, 0
for _ in pairs(classes) do declaredClasses = declaredClasses + 1 end
for key in pairs(functions) do
    if not key:match("^velmorand%.") then declaredFunctions = declaredFunctions + 1 end
end
check.equal(declaredClasses, visible, "declared classes")
check.equal(declaredFunctions, expectedFunctions, "declared functions")

-- Spot checks the walk above relies on.
check.equal(functions["Shapes.Circle.new"].list, "radius, name", "constructor parameters")
check.equal(table.concat(functions["Shapes.Rectangle:GetSize"].returns, "|"),
            "number width|number height", "outputs as results")
check.equal(functions["Shapes.Script.Call"].list, "function_, argument", "keyword parameter")
check.equal(classes["Shapes.Circle"].fields.Kind.type, "string", "inherited property")
