-- A callback that adds shapes to the canvas it is iterated over.
local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1), Shapes.Rectangle.new(2, 3)})
canvas:ForEach(function(shape) canvas:AddAll({shape, shape, shape, shape}) end)
canvas:Select(function(shape) canvas:Add(shape) return true end)
