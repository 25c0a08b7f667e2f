# An emitter ("source") made by its class id: its defaults, its outline in
# every viewport display type, and a rendered frame, while it belongs to no
# fluid system (nothing to show but its outline, no particles).
create 0x2BC6692F:0x4CB67E0B src
get src startFrame
get src stopFrame
get src fillingPercentage
get src "#particlesFilled"
set src Radius 10
ui redraw
set src DisplayType 1
ui redraw
set src DisplayType 2
ui redraw
set src DisplayType 3
set src RenderType 0
ui redraw
set src HideSource on
ui redraw
render 0 0
save emitter_scene.vsc
reset
load emitter_scene.vsc
get src Radius
get src DisplayType
echo emitter done
