# An emitter of Radius 1.5 at Source LOD 12 pours down inside a closed tank
# of 5 x 5 x 5 at Scale 1 (S = 20): the tank is 0.25 solver units across,
# and each wall holds particles off by the collision reach, 1.3333 / 12 =
# 0.111, which leaves 0.028 where one particle needs 1 / 12 = 0.083. The
# emitter places nothing, and the solve says once which object is too
# small, the room it leaves and what gives room: a Source LOD of 3.6667 /
# 0.25 = 14.7 or more, or a Scale of 5 x 12 / 3.6667 / 20 = 0.818 or less.
range 0 10
create Vorel
create box tank
set tank width 5
set tank length 5
set tank height 5
move tank 0 15 29.5
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
rotate VorelParticle x 145
set VorelParticle Radius 1.5
set VorelParticle "Source LOD" 12
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 10
echo small tank done

# At Scale 0.1 the same tank is 2.5 solver units across: it fills.
reset
range 0 2
create Vorel
create box tank
set tank width 5
set tank length 5
set tank height 5
move tank 0 15 29.5
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
rotate VorelParticle x 145
set VorelParticle Radius 1.5
set VorelParticle "Source LOD" 12
set Vorel_001 Scale 0.1
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 2 inside=-2.5,12.5,29.5,2.5,17.5,34.5 count>=100
echo scaled tank done
