# Liquid at rest in a closed box tank (32 x 32 x 30, its faces' normals
# pointing out, so the liquid lies behind them): the emitter inside fills
# it for 20 frames (Radius 9, Emission Rate 9, LOD 6), and the liquid
# settles by frame 70. The collision gap (solver units, 20 host units
# each; the solver keeps at least two thirds of a spacing) sets how far the
# liquid rests from the floor: adherence pulls it in toward the floor
# within the gap. Frames 70..89: the lowest particle within the set gap
# plus one spacing (3.33) of the floor, for gap 0.0001 (3.34) and gap 0.2
# (4 host units: 7.34). Behind the walls the pull pushed the liquid off,
# and it hovered 4.3-4.4 units off every wall whatever the gap.
# The stored velocity against the motion between frames: at the walls
# (within one spacing plus the gap the solver keeps of a wall: 3.33 + 2.2
# for gap 0.0001, 3.33 + 4 for gap 0.2) no worse than twice that farther
# in, frames 30..60 (the liquid still settling); it was some 24 host
# units/s at the walls against 3.5 farther in. (At rest, from frame 70,
# both stay below 1 host unit/s.)
# The count: the jet's column of 20 frames (Radius 9 at 180 host units/s,
# 120 long: 3.8 cubic solver units) holds some 3.8 x LOD^3 particles, 244
# at LOD 4 (the coarsest named) and 824 at LOD 6: at least half the
# coarsest, 120, at every LOD.
# Last, gap 0.0001 at LOD 4 (spacing 5: the gap kept 3.3, the lowest
# particle within 5.0 of the floor, the band 5 + 3.3): with the pull grown
# over a quarter of a spacing the layer at the floor packed to 2.7 times
# the rest density and shook, 3.1-3.5 host units/s at the walls against
# 0.5 farther in (where a particle lay farther in at all), stored speeds up
# to 38 at rest.
range 0 89
create Vorel
delete floorVorel
create box tank
set tank width 32
set tank length 32
set tank height 30
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
set tank collisionGap 0.0001
move VorelParticle 0 15 20
rotate VorelParticle x 145
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
set VorelParticle stopFrame 20
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 89 inside=-16,-1,0,16,31,30 parked<=0 count>=120
framecheck ${TMPDIR}/Vorel/aux001 70 89 lowest<=3.34
framecheck ${TMPDIR}/Vorel/aux001 30 60 inside=-16,-1,0,16,31,30 wallmotion<=2 band=5.6 fps=30
echo small gap done
reset
range 0 89
create Vorel
delete floorVorel
create box tank
set tank width 32
set tank length 32
set tank height 30
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
set tank collisionGap 0.2
move VorelParticle 0 15 20
rotate VorelParticle x 145
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
set VorelParticle stopFrame 20
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 89 inside=-16,-1,0,16,31,30 parked<=0 count>=120
framecheck ${TMPDIR}/Vorel/aux002 70 89 lowest<=7.34
framecheck ${TMPDIR}/Vorel/aux002 30 60 inside=-16,-1,0,16,31,30 wallmotion<=2 band=7.4 fps=30
echo gap 0.2 done
reset
range 0 89
create Vorel
delete floorVorel
create box tank
set tank width 32
set tank length 32
set tank height 30
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
set tank collisionGap 0.0001
move VorelParticle 0 15 20
rotate VorelParticle x 145
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
set VorelParticle stopFrame 20
set VorelParticle "Source LOD" 4
action GO!
framecheck ${TMPDIR}/Vorel/aux003 0 89 inside=-16,-1,0,16,31,30 parked<=0 count>=120
framecheck ${TMPDIR}/Vorel/aux003 70 89 lowest<=5.0
framecheck ${TMPDIR}/Vorel/aux003 30 60 inside=-16,-1,0,16,31,30 wallmotion<=2 band=8.3 fps=30
echo LOD 4 done
