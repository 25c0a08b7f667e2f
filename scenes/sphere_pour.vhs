# A gentle pour (Radius 5, Emission Rate 2, LOD 6) from 8 units above the
# top of a 32-segment ball of radius 20, with the attribute's collision
# settings (adherence 0.65, friction 4, bounce 4, gap 4), then with
# adherence 0. Nothing can rise above the emitter on its own energy: the
# emission speed (2 solver units/s, 40 host units/s) lifts a particle by
# 40^2 / (2 x 402) = 2 host units at most, less than one spacing (20 / 6 =
# 3.33). Every frame: no particle above the emitter's height (28) plus one
# spacing, 31.4. The pull of adherence switched off at the ball's seams
# while its push went on, and threw more than half of the liquid up to
# twice the emitter's height.
# The count: the jet's column of 39 frames (Radius 5 at 40 host units/s,
# 52 long: 0.51 cubic solver units) holds some 0.51 x LOD^3 particles, 33
# at LOD 4 (the coarsest named) and 110 at LOD 6; the last frame holds at
# least half the coarsest, 16, at every LOD (the runs at LOD 4 held 33 to
# 51, those that ran off the ball counted too).
range 0 39
create Vorel
delete floorVorel
create Sphere ball
set ball radius 20
set ball segs 32
move ball 0 15 0
attrib ball "Vorel CA"
set ball collide on
set ball partKiller off
move VorelParticle 0 15 28
rotate VorelParticle x 145
set VorelParticle Radius 5
set VorelParticle "Emission Rate" 2
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 39 inside=-500,-500,-500,500,500,31.4 count>=16
echo ball done
reset
range 0 39
create Vorel
delete floorVorel
create Sphere ball
set ball radius 20
set ball segs 32
move ball 0 15 0
attrib ball "Vorel CA"
set ball collide on
set ball partKiller off
set ball adherence 0
move VorelParticle 0 15 28
rotate VorelParticle x 145
set VorelParticle Radius 5
set VorelParticle "Emission Rate" 2
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 39 inside=-500,-500,-500,500,500,31.4 count>=16
echo ball without adherence done
