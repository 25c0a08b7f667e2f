# The pour of tank_pour.vhs in other containers, each with the per-object
# collision settings as the attribute makes them (collision gap 4), switched
# on as a collider and not a particle killer; every frame is checked as
# there (no particle parked, all inside, none faster than the emission speed
# plus a free fall over the container's height, with half again as margin).

# A new system's emitter as made (Radius 0.3 at LOD 6) emits nothing; the
# prompt says so and which Radius emits, and that Radius does.
range 0 3
create Vorel
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 3 count>=0
reset
range 0 3
create Vorel
set VorelParticle Radius 1.5
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 3 count>=1
reset

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
framecheck ${TMPDIR}/Vorel/aux003 0 29 inside=-35,-20,0,35,50,140 speed<=800 parked<=0 count>=500
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
framecheck ${TMPDIR}/Vorel/aux004 0 29 inside=-45,-30,-15,45,60,75 speed<=700 parked<=0 count>=500
echo ball done

# A ramp in the tank: a slab 50 x 50 x 4 tilted by 35 degrees under the
# emitter. The liquid runs down it and over its edges into the tank, whose
# height (60) still bounds the fall: 180 + 20 x sqrt(2 x 20.1 x 3) = 400,
# with an eighth as margin: 450 (the liquid stays near 260). Round the
# ramp's edges the push of a side face switched on at full strength and
# threw particles off at up to 700.
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
create box ramp
set ramp width 50
set ramp length 50
set ramp height 4
move ramp 0 15 12
rotate ramp x 35
attrib ramp "Vorel CA"
set ramp collide on
set ramp partKiller off
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux005 0 29 inside=-35,-20,0,35,50,60 speed<=450 parked<=0 count>=500
echo ramp done

# A ball of radius 15 (16 segments) standing in the tank under the emitter,
# the liquid poured onto it: the same bound as the ramp's, 450. Over the
# ball's gentle folds no face lay under a particle, and round its pole every
# face pushed at once: the liquid left it at up to 640.
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
create Sphere ball
set ball radius 15
set ball segs 16
move ball 0 15 15
attrib ball "Vorel CA"
set ball collide on
set ball partKiller off
move VorelParticle 0 15 45
rotate VorelParticle x 150
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux006 0 29 inside=-35,-20,0,35,50,60 speed<=450 parked<=0 count>=500
echo ball in the tank done

# Jets faster than the push can stop went through the tank: aimed at a
# wall at Emission Rate 30 (600 host units/s) with the smallest collision
# gap, through the wall and the floor (600 + 220, with half again as
# margin: 1229); at Emission Rate 60 with the attribute's defaults, drifting
# out of the wall from its plane (1200 + 220, and the pull of the walls'
# adherence over their gap, sqrt(2 x 0.65 x 10000 x 0.18 x 0.222) = 22.8
# solver units/s (456): with half again as margin, 2814; the jet splashes
# off the layer that clings to the walls, up to some 2200); straight up at
# Emission Rate 100, placed past the lid in the first long step (3329).
reset
range 0 19
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
set tank collisionGap 0.0001
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 30
rotate VorelParticle x 90
action GO!
framecheck ${TMPDIR}/Vorel/aux007 0 19 inside=-35,-20,0,35,50,60 speed<=1229 parked<=0 count>=100

reset
range 0 19
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
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 60
rotate VorelParticle x 90
action GO!
framecheck ${TMPDIR}/Vorel/aux008 0 19 inside=-35,-20,0,35,50,60 speed<=2814 parked<=0 count>=100

reset
range 0 19
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
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 100
action GO!
framecheck ${TMPDIR}/Vorel/aux009 0 19 inside=-35,-20,0,35,50,60 speed<=3329 parked<=0 count>=100
echo jets done
