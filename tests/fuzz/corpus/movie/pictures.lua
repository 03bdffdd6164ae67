--tessel movie 1
stage(40, 40)
_root = { update_tex = "" }
function draw()
    image("pic.bmp", 0, 0)
    image("pic.bmp", 10, 10, 20, 20)
    image("pic.bmp", 38, 38, 8, 8)
    image("missing.png", 1, 1)
    rect(0, 0, 20, 20, 1, 1, 1, 0.5)
    _root.update_tex = tostring(time())
end
