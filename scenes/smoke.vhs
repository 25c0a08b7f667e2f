# The host starts with the build's plug-ins, makes a box and saves and reloads
# the scene: the floor every other scene stands on.
create box b1
set b1 height 12.5
save smoke.scene
reset
load smoke.scene
get b1 height
echo smoke done
