# Scale across a reset: a system at Scale 2 solves and shows at its own
# scale; after "reset" a new system reads Scale 1 and solves and shows at
# Scale 1 too (its particles pour from the emitter, not from twice its
# coordinates, where a scale left behind would put them).
range 0 5
create Vorel
set Vorel_001 Scale 2
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
action GO!
framecheck tmp/Vorel/aux001 1 5 inside=-30,-30,-5,30,40,60 count>=10
# (Rising into the floor helper, a closed bowl whose lid is at 37.5, the
# stream clings under the lid; from twice the coordinates it would start at 64.)
centroid VorelParticle 5 count>=10 z<37.5
reset
create Vorel
get Vorel_001 Scale
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
action GO!
framecheck tmp/Vorel/aux002 1 5 inside=-30,-30,-5,30,40,60 count>=40
centroid VorelParticle 5 count>=40 z>20 z<40 y>3
echo scale across a reset done
