-- The script side of the module project: run with
--   velmorand-lua --no-default-module --module ./libCounter.so counter.lua
local counter = Tally.Counter.new("apples")
counter:Add(3)
counter:Add(4)
counter.Name = "pears"
local count, name = counter:Read()
assert(count == 7 and name == "pears" and counter.Count == 7)
assert(Tally.Counter.Zero().Count == 0)
local ok, message = pcall(counter.Add, counter, -1)
assert(not ok and message:find("calling Tally::Counter::Add: a counter only counts up", 1, true), message)
print(name .. ": " .. count)
