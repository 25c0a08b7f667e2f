# The two force fields as a user meets them: made by dragging in the
# viewport, a target and a path picked in their rollouts, a particle system
# bound to them, their forces probed around the picked objects, and both
# kept through a save and a load.
ui create objAttractor 320,240 360,240
get VorelobjAttr iconsize
create box target
set target width 20
set target length 20
set target height 20
move target 100 0 0
select VorelobjAttr
ui open VorelobjAttr
ui read Parameters 1201
ui press Parameters 1200
ui pick target
ui read Parameters 1201
ui close
# Ordered samples: particle 0 aims at the box's first vertex (90, -10, 0),
# particle 2 at its third (110, 10, 0); left of the box both are pulled +x.
set VorelobjAttr ordered on
force VorelobjAttr 0 0 0 0 0 0 0
force VorelobjAttr 0 0 0 0 0 0 2
# Without strength there is no force.
set VorelobjAttr strength 0
force VorelobjAttr 0 0 0 0 0 0 2
set VorelobjAttr strength 1
# The path: a 40 x 40 rectangle about the origin, counter-clockwise.
ui create Vorel-path 320,240 330,240
create rectangle path
set path length 40
set path width 40
select VorelpathFollow
ui open VorelpathFollow
ui tooltip Parameters 1200
ui press Parameters 1200
ui pick path
ui read Parameters 1201
ui close
# Beside the bottom side, at rest: pulled onto it (+y) and pushed along it (+x).
force VorelpathFollow 0 -25 0
# Reversed: pushed the other way.
set VorelpathFollow reverse on
force VorelpathFollow 0 -25 0
set VorelpathFollow reverse off
# Far from the path: nothing.
force VorelpathFollow 0 -60 0
create sphere drops
bind drops VorelobjAttr
bind drops VorelpathFollow
save force_fields.scene
reset
load force_fields.scene
force VorelobjAttr 0 0 0 0 0 0 2
force VorelpathFollow 0 -25 0
get VorelobjAttr ordered
echo force fields done
