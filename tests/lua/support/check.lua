-- Assertions for the Lua test scripts; a failure raises an error, which ends the script with
-- exit status 1 and the message on standard error.
local check = {}

local function describe(value)
    return type(value) == "string" and string.format("%q", value) or tostring(value)
end

function check.equal(actual, expected, what)
    if actual ~= expected then
        error(string.format("%s: got %s, expected %s", what or "value", describe(actual),
                            describe(expected)), 2)
    end
end

-- Calls f(...), which must fail; each pattern must occur in the message (plain text).
function check.fails(f, patterns, ...)
    local ok, message = pcall(f, ...)
    if ok then
        error("expected an error containing " .. describe(patterns[1]), 2)
    end
    message = tostring(message)
    for _, pattern in ipairs(patterns) do
        if not message:find(pattern, 1, true) then
            error(string.format("error %s lacks %s", describe(message), describe(pattern)), 2)
        end
    end
end

-- Records the warnings sent to the script while f runs; returns them as a list of texts.
function check.warnings(f)
    local seen = {}
    local previous = velmorand.on_event(function(kind, text)
        check.equal(kind, 1, "event kind")
        seen[#seen + 1] = text
    end)
    local ok, message = pcall(f)
    velmorand.on_event(previous)
    if not ok then
        error(message, 2)
    end
    return seen
end

return check
