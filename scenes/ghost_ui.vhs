# A ghost source made from an emitter's rollout replays the emitter's stream
# where it is moved; its own rollouts name the parent, switch it off and on
# and hide its outline; the ghost and its binding survive a save and a load.
range 0 5
create Vorel
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
action GO!
time 5
where VorelParticle
# The stream rises into the floor helper (a closed bowl, its lid at 37.5)
# and clings under the lid, within the collision gap (4.4) of it.
centroid VorelParticle 5 count>=40 y>7 y<9 z>33 z<36
ui open VorelParticle
ui press "Source params" 1129
# The ghost starts on the emitter; moved, its stream moves rigidly with it:
# the emitter sits at (0,15,32) and the ghost keeps its axes.
move VorelGhost 100 0 0
centroid VorelGhost 5 count>=40 x>99 x<101 y>-8 y<-6 z>1 z<4
ui open VorelGhost
ui read "Source ghost params" 1025
ui set "Source ghost params" 1014 on
centroid VorelGhost 5 count<1
ui set "Source ghost params" 1014 off
centroid VorelGhost 5 count>=40
ui set "Source ghost params" 1019 on
ui set "Particle display params" 1023 1
ui redraw
ui close
save ghost_scene.vsc
reset
load ghost_scene.vsc
centroid VorelParticle 5 count>=40 y>7 y<9
centroid VorelGhost 5 count>=40 x>99 x<101 y>-8 y<-6
get VorelGhost HideSource
echo ghost ui done
