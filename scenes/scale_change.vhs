# A Scale changed after frames are solved: GO! on would mix two scales in
# one cache (the particles in memory in the old solver units, the tank and
# the next frames in the new ones: the liquid burst out of its tank). GO!
# asks instead: No solves nothing and says why; Yes solves the cache again
# from the start at the new Scale, and every frame keeps the liquid in its
# tank (bounds of tank_pour.vhs, the speeds twice as large in host units at
# Scale 2).
range 0 14
create Vorel
create box tank
set tank width 70
set tank length 70
set tank height 60
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 14 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=200

set Vorel_001 Scale 2
range 0 29
answer No
action GO!
files ${TMPDIR}/Vorel/aux001 *.Vorel
answer Yes
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 29 inside=-35,-20,0,35,50,60 speed<=1200 parked<=0 count>=1
echo scale change done
