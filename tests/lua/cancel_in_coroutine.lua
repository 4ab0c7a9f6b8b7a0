-- expect-exit: 2
-- expect-stderr: The script was canceled.
-- reject-stdout: after cancel
-- A cancel inside a coroutine ends the whole script: coroutine.resume passes it on.
local worker = coroutine.create(function()
    Shapes.Script.Cancel()
    while true do end
end)
local ok, message = coroutine.resume(worker)
print("after cancel", ok, message)
