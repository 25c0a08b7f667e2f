# A keyed piston pushes a pool along a closed box tank. The tank (40 x 60 x
# 40) is filled for half a second from above (Radius 9, Emission Rate 9);
# the piston, a block 36 wide, 6 thick and 24 high across the tank, stands
# still until frame 30, then its keys move it 30 units along -y by frame 40:
# 30 units in a third of a second, 90 host units/s. While it moves the
# liquid moves at about its speed: no particle moves further from one
# frame to the next than twice that, 180 host units/s (the pour has
# settled below that by frame 30; the liquid the piston carries, and what
# it drives ahead into the far wall, stay below some 160).
# On every frame no particle lies inside the piston, nor outside the tank.
# The tank's walls keep the default adherence: it holds the liquid the
# piston drives into the floor and the far wall, and never draws it in (as
# a pull toward the walls it sent that liquid up the far wall at 2.5 times
# the piston's speed). Measured: at most 164 in 40 solves, 128-156 at
# LOD 4, 8 and 10.
range 0 45
create Vorel
delete floorVorel
create box tank
set tank width 40
set tank length 60
set tank height 40
move tank 0 15 0
attrib tank "Vorel CA"
set tank collide on
set tank partKiller off
move VorelParticle 0 20 30
rotate VorelParticle x 145
set VorelParticle Radius 9
set VorelParticle "Emission Rate" 9
set VorelParticle stopFrame 15
create box piston
set piston width 36
set piston length 6
set piston height 24
move piston 0 38 1
keymove piston 30 0 38 1
keymove piston 40 0 8 1
attrib piston "Vorel CA"
set piston collide on
set piston partKiller off
where piston 35
action GO!
framecheck ${TMPDIR}/Vorel/aux001 31 40 moved<=180
framecheck ${TMPDIR}/Vorel/aux001 0 45 outside=piston inside=-20,-15,0,20,45,40 parked<=0 count>=400
echo piston done

# The keys are kept by a saved scene.
save piston.vsc
reset
load piston.vsc
where piston 35
# A scale key doubles the piston's thickness at frame 50.
keyscale piston 50 1 2 1
where piston 50
