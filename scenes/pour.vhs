# The main job: a fluid system pours into a bowl. "New Vorel" (run by creating
# the system) makes the system Vorel_001 with its clip box, first emitter
# (VorelParticle), floor and texture gizmo; the emitter sits inside a closed
# round bowl that carries the per-object collision settings. "GO!" solves the
# 48 frames with their surfaces, each a closed 2-manifold; three surfaces are
# exported, the scene is saved and loaded again, and the loaded system shows
# the same surface.
range 0 47
create Vorel
create Sphere bowl
set bowl radius 50
set bowl segs 32
move bowl 0 15 12
attrib bowl "Vorel CA"
set bowl collide on
set bowl partKiller off
set bowl collisionGap 0.5
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
set Vorel_001 ShowMesh on
set Vorel_001 CalculateSurfaceAlso on
action GO!
echo solved
meshcheck tmp/Vorel/aux001/surface
fails meshcheck tmp/Vorel/aux001/surface/m99999.bin
export Vorel_001 0 pour_f000.obj
export Vorel_001 24 pour_f024.obj
export Vorel_001 47 pour_f047.obj
save pour.vsc
reset
load pour.vsc
export Vorel_001 24 pour_f024_loaded.obj
echo pour done
