-- expect-exit: 2
-- expect-stderr: The script was canceled.
-- expect-stdout: canceling
-- reject-stdout: after cancel
-- A cancel stops the script at its next instruction, also inside pcall and a coroutine, whose
-- resume passes it on.
print("canceling")
local worker = coroutine.create(function()
    Shapes.Script.Cancel()
    while true do end
end)
print("after cancel", pcall(coroutine.resume, worker))
