--tessel movie 1
stage(400, 200)
fps(25)
keys = ""
function on_mouse(kind, x, y, flags)
    if kind == "down" and x >= 100 and x < 200 and y >= 50 and y < 100 and messaging() then
        Tessel_script = "/usr/menu.start()"
    end
end
function on_key(kind, vkey) keys = keys .. kind .. vkey .. " " end
function on_char(text) keys = keys .. "[" .. text .. "]" end
function on_value(name, text) if name == "input" then net_msg_output = "hud^" .. text end end
function draw()
    clear(0, 0, 0.2, 0.8)
    rect(100, 50, 100, 50, 1, 0.5, 0, 1)
    text(110, 60, "Start", 20, 1, 1, 1, 1)
end
