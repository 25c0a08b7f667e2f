# The pour of tank_pour.vhs (a closed box tank 70 x 70 x 60 with the
# attribute's collision settings) with the emitter 9 units from the tank's
# +y wall: its tilted disc (radius 9) reaches within some 1.5 units of the
# wall, inside the wall's collision gap (4, kept at the reach: 4.4 at
# LOD 6), whose push threw the particles emitted there across the tank at
# up to 730 host units/s from frame 1. Three solves, since every solve
# seeds its emission from the clock. Every frame: no particle parked, all
# inside, none faster than the emission speed plus a free fall over the
# tank's height: 180 + 20 x sqrt(2 x 20.1 x 3) = 400, with half again as
# margin, 600 (the liquid stays near 300).
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
move VorelParticle 0 41 32
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=1000
echo near wall 1 done
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
move VorelParticle 0 41 32
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=1000
echo near wall 2 done
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
move VorelParticle 0 41 32
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
action GO!
framecheck ${TMPDIR}/Vorel/aux003 0 29 inside=-35,-20,0,35,50,60 speed<=600 parked<=0 count>=1000
echo near wall 3 done
