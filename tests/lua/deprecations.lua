-- Deprecated functions: a renamed one warns and runs under its new name, also without a
-- handler; a removed one fails with its text (class_test.cpp checks every text).
local check = require("check")

local circle = Shapes.Circle.new(1, "coin")
local result
local seen = check.warnings(function() result = circle:Description() end)
check.equal(result, circle:Describe(), "the renamed function ran under its new name")
check.equal(#seen, 1, "one warning per call")
assert(seen[1]:find("Shapes::Circle::Description has been renamed to Shapes::Circle::Describe",
                    1, true), seen[1])
check.fails(function() circle:Rotate() end,
            {"The API Shapes::Circle::Rotate has been deprecated and removed."})
local previous = velmorand.on_event(nil)
check.equal(circle:Description(), circle:Describe(), "renamed call without a handler")
velmorand.on_event(previous)
