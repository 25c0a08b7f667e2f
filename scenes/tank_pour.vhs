# New systems pour into a closed box tank (70 x 70 x 60 around the first
# emitter) that carries the per-object collision settings as the attribute
# makes them (collision gap 4, far beyond the collision reach of 0.22 at
# LOD 6; bounce 4, friction 4, adherence 0.65), switched on as a collider
# and not a particle killer, with the emitter at Radius 9 and Emission Rate 9, over 30 frames.
# Every frame is checked: no particle parked, every one inside the tank, none
# faster than the emission speed plus a free fall over the tank's height:
# rate 9 gives 9 solver units/s (180 host units/s); gravity 20.1 over
# 3 solver units gives sqrt(2 x 20.1 x 3) = 11 (220); with a margin of half
# again: 600 host units/s.
range 0 29
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
framecheck ${TMPDIR}/Vorel/aux001 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=500
echo tank done

# The emitter 12 units from a wall (its disc, of radius 9, 3 units short of it).
reset
range 0 29
create Vorel
create box tank
set tank width 70
set tank length 70
set tank height 60
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
move VorelParticle 0 38 32
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=500
echo near wall done

# Without the floor helper, the tank alone holds the liquid.
reset
range 0 29
create Vorel
delete floorVorel
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
framecheck ${TMPDIR}/Vorel/aux003 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=500
echo no floor done

# The emitter moved and turned into place before the solve (not animated):
# its first particles leave at the emission speed (180), not at the speed of
# the move from where it was made (some 950). Frames 0..2 add little fall,
# but the pressure between the fresh layers may kick a few particles: 450.
reset
range 0 29
create Vorel
delete floorVorel
create box tank
set tank width 70
set tank length 70
set tank height 60
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
move VorelParticle 10 10 40
rotate VorelParticle x 150
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux004 0 2 speed<=450 parked<=0 count>=1
framecheck ${TMPDIR}/Vorel/aux004 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=500
echo moved emitter done
