--tessel movie 1
local n = 0
function draw()
    n = n + 1
    if n == 1 then while true do end end
    if n == 2 then local t = {} for i = 1, 1e7 do t[i] = {i} end end
    print(pcall(string.rep, "", 1e15), pcall(setmetatable, {}, {__gc = print}))
    rect("x", 0, 1, 1, 1, 1, 1, 1)
end
