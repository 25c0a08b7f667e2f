# The Vorel plug-in loads from the build's plug-in folder with its eight
# classes; a box gets the per-object collision attribute, whose settings
# survive a save and a load of the scene.
classes
create Box crate
attrib crate "Vorel CA"
# A new attribute starts from the block's defaults.
get crate collide
get crate collisionGap
get crate MapRes
get crate adherence
get crate partKiller
set crate collide 1
set crate collisionGap 0.25
set crate bounce 12.5
set crate friction 3
set crate adherence 0.4
set crate partKiller 0
set crate MapPrefix "crate wet"
# Ranges clamp what is set.
set crate MapRes 4000
get crate MapRes
save plugin_base_scene.vsc
reset
load plugin_base_scene.vsc
get crate collide
get crate collisionGap
get crate bounce
get crate friction
get crate adherence
get crate partKiller
get crate MapPrefix
get crate MapRes
