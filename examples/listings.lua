-- What the script can learn about the registered classes.
--   velmorand-lua examples/listings.lua

for _, class in ipairs(velmorand.classes()) do
    print(class.name .. (class.base and (" : " .. class.base) or ""))
    for _, f in ipairs(class:functions()) do
        local arguments = {}
        for _, argument in ipairs(f:arguments()) do
            -- Leave out the return value and the context, which the host supplies.
            if argument.style & 4 == 0 and argument.type ~= "VelmorandScript::IScriptContext" then
                local text = argument.name .. ": " .. argument.script_type
                if argument.optional then
                    text = "[" .. text .. " = " .. tostring(argument.default) .. "]"
                end
                arguments[#arguments + 1] = text
            end
        end
        local note = f.deprecation and ("  -- " .. f.deprecation ..
                                        (f.replacement and (", see " .. f.replacement) or "")) or ""
        print(string.format("    %-14s %s(%s)%s", f.style, f.name, table.concat(arguments, ", "), note))
    end
end
