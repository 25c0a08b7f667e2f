# Two fluid systems share the clip box "Vorelclip" and the floor
# "floorVorel". Deleting one takes its own emitter and keeps both helpers
# for the other system, which still solves inside them; deleting the last
# system takes them with it.
range 0 5
create Vorel
create Vorel
set VorelParticle001 Radius 6
set VorelParticle001 "Emission Rate" 8
delete Vorel_001
fails select VorelParticle
nodes
select Vorel_002
action GO!
framecheck tmp/Vorel/aux002 1 5 inside=-100,-100,-1,100,100,150 count>=40
centroid VorelParticle001 5 count>=40
delete Vorel_002
fails select Vorelclip
fails select floorVorel
echo two systems done
