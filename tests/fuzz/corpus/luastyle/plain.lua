local a = 1 -- one
function f(x) return x end
