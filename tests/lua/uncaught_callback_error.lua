-- expect-exit: 1
-- expect-stderr: uncaught_callback_error.lua:8: paint ran out
-- expect-stderr: uncaught_callback_error.lua:8: in
-- expect-stderr: in method 'ForEach'
-- An error raised in a callback that no pcall catches shows where in the callback it was raised.
local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1)})
canvas:ForEach(function() error("paint ran out") end)
