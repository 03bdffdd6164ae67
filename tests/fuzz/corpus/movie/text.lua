--tessel movie 1
stage(200, 60)
function draw()
    text(20, 10, "Größe", 24, 1, 1, 1, 1)
    text(150, 10, "Größe und mehr Text\nüber den Rand €", 12, 0, 1, 0, 0.5, "DejaVu Serif")
    cursor_mode = "1"
end
