-- Deprecated functions: a renamed one warns and runs under its new name, a removed and a
-- replaced one fail with their texts.
local check = require("check")

local circle = Shapes.Circle.new(1, "coin")
local result
local seen = check.warnings(function() result = circle:Description() end)
check.equal(result, circle:Describe(), "the renamed function ran under its new name")
check.equal(#seen, 1, "one warning per call")
check.equal(seen[1], "The API Shapes::Circle::Description has been renamed to " ..
    "Shapes::Circle::Describe, which will automatically be called until the script is " ..
    "updated. Please refer to the documentation and update your scripts to use the renamed " ..
    "API instead.", "renamed warning")

check.fails(function() circle:Rotate() end,
            {"The API Shapes::Circle::Rotate has been deprecated and removed. Please refer to " ..
             "the documentation and update your scripts accordingly."})
check.fails(function() circle:Resize(3) end,
            {"The API Shapes::Circle::Resize has been deprecated and replaced with the " ..
             "non-compatible API(s) Scale."})

-- Without a handler the renamed call still runs, silently.
local previous = velmorand.on_event(nil)
check.equal(circle:Description(), circle:Describe(), "renamed call without a handler")
velmorand.on_event(previous)
print("deprecations ok")
