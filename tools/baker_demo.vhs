# The cache baker replays the main job's cache folder: the stored surface of
# frame 24, the same mesh the fluid system shows at that frame, and its own
# surface of that frame's particles.
create VorBaker bake
set bake "Cache path" ${VOREL_DEMO_CACHE}
export bake 24 baked_f024.obj
set bake GenerateSurface on
export bake 24 baked_generated_f024.obj
echo baker done
