-- expect-exit: 1
-- expect-stderr: uncaught_error.lua:5: out of paint
-- expect-stderr: stack traceback:
-- An error that no pcall catches ends the script with status 1, its position and message.
Shapes.Script.Fail("out of paint")
