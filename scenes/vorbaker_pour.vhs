# VorBaker replays the cache a fluid system writes when it pours: at one frame
# the stored surface and a surface made from the particle frame, beside the
# system's own surface of that frame.
range 0 23
create Vorel
create Sphere bowl
set bowl radius 50
set bowl segs 32
move bowl 0 15 12
attrib bowl "Vorel CA"
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
set Vorel_001 ShowMesh on
set Vorel_001 CalculateSurfaceAlso on
action GO!
echo solved
export Vorel_001 20 system20.obj
create VorBaker bake
set bake "Cache path" ${TMPDIR}/Vorel/aux001
export bake 20 stored20.obj
set bake GenerateSurface on
export bake 20 generated20.obj
echo baker pour done
