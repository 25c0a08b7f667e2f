# The pour of tank_pour.vhs in other containers, each with the per-object
# collision settings as the attribute makes them (collision gap 4), switched
# on as a collider and not a particle killer; every frame is checked as
# there (no particle parked, all inside, none faster than the emission speed
# plus a free fall over the container's height, with half again as margin).

# A tall tank, 70 x 70 x 140: 180 + 20 x sqrt(2 x 20.1 x 7) = 516, margin: 800.
range 0 29
create Vorel
delete floorVorel
create box tank
set tank width 70
set tank length 70
set tank height 140
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 29 inside=-35,-20,0,35,50,140 speed<=800 parked<=0 count>=500
echo tall tank done

# A closed ball of radius 45 around the emitter (its lowest point 45 below
# the centre, 90 below its top): 180 + 20 x sqrt(2 x 20.1 x 4.5) = 449,
# margin: 700.
reset
range 0 29
create Vorel
delete floorVorel
create Sphere ball
set ball radius 45
set ball segs 32
move ball 0 15 30
attrib ball "Vorel CA"
set ball collide on
set ball partKiller off
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 29 inside=-45,-30,-15,45,60,75 speed<=700 parked<=0 count>=500
echo ball done
