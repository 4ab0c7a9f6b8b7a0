-- Ending a script from native code. Exits with status 2:
--   velmorand-lua examples/abort_and_cancel.lua; echo $?
--
-- A handler that returns the integer 0 aborts the script. pcall cannot catch the abort.
-- (Shapes.Script.Cancel() works the same way and ends the script with "The script was
-- canceled."; so does Ctrl-C while a script runs.)

velmorand.on_event(function(kind, text)
    print("warning: " .. text)
    if text:find("precision") then
        print("that is not acceptable: returning 0 aborts the script")
        return 0
    end
end)

Shapes.Script.Warn("a harmless warning")
local ok = pcall(function()
    Shapes.Circle.new(1):Scale(2.5)
end)
print("never printed", ok)
