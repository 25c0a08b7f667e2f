# Liquid poured into an open cup (four slabs 2 thick and 8 high around a
# 20 x 20 floor) standing on the floor of a closed tank (70 x 70 x 40),
# all with the attribute's collision settings: the cup fills and the
# liquid creeps over its rim into the tank. Pour: Radius 5, Emission
# Rate 4 (80 host units/s) from 20 above the tank's floor, LOD 6. Every
# frame: all inside the tank, none parked, and none above the emitter
# plus one spacing (3.33) and the rise of the emission speed (80^2 /
# (2 x 402) = 8): 31.4; the liquid reaches the tank's floor outside the
# cup: some particle beyond the cup's wall on the side the jet leans to (y
# below 2; the wall's outer face is at 3) and lower than the rim (8). At
# rest on the floor the liquid lies the gap the solver keeps above it, the
# reach (1.3333 spacings) for the default gap 4: 6.67 at LOD 4, 4.44 at
# LOD 6 (the box to the +x side up to 6 missed it at LOD 4, where the
# liquid went over the y walls only and rested at 6.5). The count: the
# jet's column of 59 frames (157 long, 1.54 cubic solver units) holds some
# 1.54 x LOD^3 particles, 99 at LOD 4 (the coarsest named): at least half
# that, 49, at every LOD. Creeping over the rim, a particle where push and
# pull balanced was thrown off at some 200 host units/s as the pull ended
# at the rim.
range 0 59
create Vorel
delete floorVorel
create box tank
set tank width 70
set tank length 70
set tank height 40
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
create box wallA
set wallA width 2
set wallA length 24
set wallA height 8
move wallA -11 15 0
create box wallB
set wallB width 2
set wallB length 24
set wallB height 8
move wallB 11 15 0
create box wallC
set wallC width 20
set wallC length 2
set wallC height 8
move wallC 0 4 0
create box wallD
set wallD width 20
set wallD length 2
set wallD height 8
move wallD 0 26 0
attrib wallA "Vorel CA"
attrib wallB "Vorel CA"
attrib wallC "Vorel CA"
attrib wallD "Vorel CA"
set wallA collide on
set wallB collide on
set wallC collide on
set wallD collide on
set wallA partKiller off
set wallB partKiller off
set wallC partKiller off
set wallD partKiller off
move VorelParticle 0 15 20
rotate VorelParticle x 145
set VorelParticle Radius 5
set VorelParticle "Emission Rate" 4
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 59 inside=-35,-20,0,35,50,31.4 parked<=0 reach=-35,-20,0,35,2,8 count>=49
echo overflow done
