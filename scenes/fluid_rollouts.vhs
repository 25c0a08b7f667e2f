# An artist drives a fluid system through its six rollouts: changes values
# with the spinners, builds the collider list with the pick mode and the
# select-by-name dialog and applies the collider settings, adds an emitter,
# solves with the GO! button, repairs lost surfaces, packs the cache into a
# .Vor file, moves the cache root with SET and with the path field, and loads
# the cache into a second system both unpacked and from the packed file.
range 0 5
create Vorel
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
create Box wall
set wall length 60
set wall width 60
set wall height 5
move wall 0 0 -30
create Box shelf
move shelf 80 0 0
ui open Vorel_001
ui dialogs

# Spinners write the parameters.
ui set "Dynamics Params" 1502 20
get Vorel_001 Gravity
ui set "Dynamics Params" 1028 2
get Vorel_001 Scale
ui set "Dynamics Params" 1028 1
# "Loop" enables the loop length, "Keep last positions" disables it.
ui set "Animation Control" 1042 1
ui read "Animation Control" 1023
ui set "Animation Control" 1041 1
get Vorel_001 outofrangeaction
ui show "Animation Control"

# Colliders: picked twice, selected by name, listed once each.
ui press "Per-object params" 1076
ui pick wall
ui pick wall
ui rightclick
ui read "Per-object params" 1076
ui select-answer shelf wall
ui press "Per-object params" 1077
ui show "Per-object params"
ui set "Per-object params" 1054 80
ui set "Per-object params" 1056 0.5
ui press "Per-object params" 1060
get wall bounce
get wall collisionGap
get shelf bounce

# A second emitter from the sources rollout.
ui press "Source Creation" 1007
ui show "Source Creation"

# Solve with surfaces: GO! starts once its click is handled.
ui set "Animation Control" 1091 on
ui set "Surface Params" 1019 on
get Vorel_001 ShowMesh
ui press "Animation Control" 1014
ui pump
ui read "Cache " 1054
files tmp/Vorel/aux001 *.Vorel
# Two surfaces are lost, the last one among them; Repair rebuilds both.
remove tmp/Vorel/aux001/surface/m00005.bin
remove tmp/Vorel/aux001/surface/m00002.bin
ui press "Surface Params" 1029
files tmp/Vorel/aux001/surface

# Pack the cache into take.Vor beside it.
ui file-answer take
ui press "Cache " 1019
files tmp *.Vor

# SET: Cancel moves nothing, OK moves frames and meshes to the new root.
mkdir moved
ui dir-answer moved
answer Cancel
ui press "Cache " 1018
get Vorel_001 TempDirPath
ui dir-answer moved
answer OK
ui press "Cache " 1018
get Vorel_001 TempDirPath
files tmp/Vorel/aux001 *.Vorel
files moved/Vorel/aux001 *.Vorel
files moved/Vorel/aux001/surface
ui read "Cache " 1054
# The path field: the current root again moves nothing; another moves back.
ui set "Cache " 3077 moved
files moved/Vorel/aux001 *.Vorel
echo root unchanged
ui set "Cache " 3077 tmp
get Vorel_001 TempDirPath
files tmp/Vorel/aux001 *.Vorel
files moved/Vorel/aux001 *.Vorel
ui read "Cache " 1054
ui close

# A second system loads the first one's cache: unpacked (any frame of the
# folder), then, with two frames lost, from the packed file.
create Vorel
ui open Vorel_002
ui file-answer Vorel/aux001/00003.Vorel
ui press "Cache " 1017
compare tmp/Vorel/aux001 tmp/Vorel/aux002 *.Vorel
compare tmp/Vorel/aux001/surface tmp/Vorel/aux002/surface
ui read "Cache " 1054
remove tmp/Vorel/aux002/00004.Vorel
remove tmp/Vorel/aux002/00005.Vorel
ui file-answer take.Vor 1
ui press "Cache " 1017
compare tmp/Vorel/aux001 tmp/Vorel/aux002 *.Vorel
compare tmp/Vorel/aux001/surface tmp/Vorel/aux002/surface
ui read "Cache " 1054
set Vorel_002 ShowMesh on
export Vorel_002 5 unpacked_f005.obj
echo fluid rollouts done
