# A keyed paddle stirs a pool in a closed box tank. The tank (80 x 80 x 40)
# is filled for 25 frames from above (Radius 9, Emission Rate 9); the
# paddle, a block 40 long, 4 thick and 20 high standing on its centre,
# stands still until frame 40, then its keys turn it about the vertical a
# quarter turn every 10 frames until frame 70: 4.712 radians/s, its ends
# (20.1 from the axis) at 94.7 host units/s. While it turns the liquid moves
# at about the paddle's speed: no particle moves further from one frame to
# the next than twice that of its ends, 190 host units/s (the liquid the
# ends throw stays below some 135). The walls stand 20 beyond the ends, so
# no liquid is squeezed between them. On every frame no particle lies inside
# the paddle, nor outside the tank.
range 0 72
create Vorel
delete floorVorel
create box tank
set tank width 80
set tank length 80
set tank height 40
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
move VorelParticle 20 35 30
rotate VorelParticle x 145
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
set VorelParticle stopFrame 25
create box paddle
set paddle width 40
set paddle length 4
set paddle height 20
move paddle 0 15 1
keyrotate paddle 40 z 0
keyrotate paddle 50 z 90
keyrotate paddle 60 z 90
keyrotate paddle 70 z 90
attrib paddle "Vorel CA"
set paddle collide on
set paddle partKiller off
where paddle 45
where paddle 70
action GO!
framecheck ${TMPDIR}/Vorel/aux001 41 70 moved<=190
framecheck ${TMPDIR}/Vorel/aux001 0 72 outside=paddle inside=-40,-25,0,40,55,40 parked<=0 count>=400
echo paddle done
