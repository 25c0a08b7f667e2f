# VorBaker replays a small cache folder of the main plug-in, both as the
# meshes stored there and as a surface made from the particle frames, and
# replays the surface cache a Pelliqor wrapper writes, showing the wrapper's
# mesh of the same frame.
create VorBaker bake
set bake "Cache path" ${VOREL_SOURCE_DIR}/scenes/data/baker_cache
export bake 1 stored1.obj
set bake PlaybackSpeed 50
export bake 4 stored2.obj
set bake PlaybackSpeed 100
export bake 7 missing.obj
set bake GenerateSurface on
export bake 1 generated1.obj
create ScriptedParticles spray
particles spray 0 0,0,0 2,0,0 0,2,0 2,2,0 1,1,1.5
create Pelliqor wrap
call wrap pelliqorNodeOps addNode spray
set wrap "Export directory" cache
set wrap Name surface
set wrap useCache on
export wrap 0 wrap0.obj
create VorBaker replay
set replay "Cache path" cache
export replay 0 replay0.obj
echo vorbaker done
