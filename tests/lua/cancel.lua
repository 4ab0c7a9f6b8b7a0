-- expect-exit: 2
-- expect-stderr: The script was canceled.
-- expect-stdout: canceling
-- reject-stdout: after cancel
-- A cancel stops the script at its next instruction, also inside pcall and error handlers.
print("canceling")
pcall(function()
    Shapes.Script.Cancel()
    while true do end
end)
print("after cancel")
