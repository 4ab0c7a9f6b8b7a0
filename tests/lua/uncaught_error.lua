-- expect-exit: 1
-- expect-stderr: uncaught_error.lua:5: Expected Shapes::Shape, got nil (argument #1, calling Shapes::Canvas::Add).
-- expect-stderr: stack traceback:
-- An error that no pcall catches ends the script with status 1 and its message.
Shapes.Canvas.new():Add(nil)
