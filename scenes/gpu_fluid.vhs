# The GPU front-end plug-in: a GPU fluid object made from the create panel
# comes with its first source and a collider box, keeps its parameters
# through a save and a load, and has its cache directory under the temporary
# folder (no ini file, no registry value here).
create 0x52C04769:0x3E707205
get Vorel_GPU_ "Cache path"
get Vorel_GPU_ "Caches directory path"
get Vorel_GPU_ sourcesNodeList
get Vorel_GPU_ collidersNodeList
get Vorel_source_ speed
get Vorel_source_ DisableSource 12
get Vorel_source_ DisableSource 13
set Vorel_GPU_ gravity 4.5
set Vorel_GPU_ SolverEnd 60
set Vorel_GPU_ ShowClipBox on
set Vorel_source_ radius 7
save gpu_fluid.scene
reset
load gpu_fluid.scene
nodes
get Vorel_GPU_ gravity
get Vorel_GPU_ SolverEnd
get Vorel_GPU_ ShowClipBox
get Vorel_GPU_ "Surface LOD"
get Vorel_GPU_ sourcesNodeList
get Vorel_GPU_ collidersNodeList
get Vorel_source_ radius
get Vorel_GPU_ "Cache path"
get Vorel_GPU_ "Caches directory path"
# Drawing the scene re-arms creation; a second fluid takes a cache of its
# own, so the first one's stays untouched.
ui redraw
create 0x52C04769:0x3E707205
get Vorel_GPU_001 "Cache path"
echo gpu fluid done
