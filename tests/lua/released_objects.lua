-- An object whose native part was released (its userdata collected, then brought back by a
-- finalizer) says so, and still prints.
local check = require("check")

local ghost
local keeper = setmetatable({}, {__gc = function(self) ghost = self.circle end})
keeper.circle = Shapes.Circle.new(1, "ghost")  -- finalized before the keeper, made after it
keeper = nil
collectgarbage()
collectgarbage()
check.equal(tostring(ghost), "native object (released)", "tostring")
local released = "The native object has been released"
check.fails(function() return ghost:Describe() end, {released})
check.fails(function() return ghost.Radius end, {released})
check.fails(function() ghost.Radius = 2 end, {released})
check.fails(function() return #ghost end, {released})
print(ghost)
