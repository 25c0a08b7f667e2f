# Two emitters of one system, edited one after the other at the frame shown:
# the second emitter's display edit shows at once, as the first's does. A
# ghost goes with the emitter it replays when that emitter is deleted.
range 0 5
create Vorel
select Vorel_001
action "Add a new Vorel source"
move VorelParticle001 60 0 0
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
set VorelParticle001 Radius 6
set VorelParticle001 "Emission Rate" 8
action GO!
time 5
centroid VorelParticle 5 count>=40
centroid VorelParticle001 5 count>=40
ui open VorelParticle
ui set "Particle display params" 3044 10
ui close
centroid VorelParticle 5 count<25
centroid VorelParticle001 5 count>=40
ui open VorelParticle001
ui set "Particle display params" 3044 10
ui press "Source params" 1129
ui close
centroid VorelParticle 5 count<25
centroid VorelParticle001 5 count<25
delete VorelParticle001
nodes
echo two emitters done
