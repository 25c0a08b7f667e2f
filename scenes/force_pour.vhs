# Liquid poured toward an object attractor, then along a path-follow force:
# the centre of the particles shows where they go. A new emitter's Radius
# (0.3) is below one step of the emission lattice at its LOD (6), so it would
# emit nothing: both pours use Radius 6. The emitter is turned to pour
# straight down onto a flat floor that collides without killing.
range 0 30
create Vorel
delete floorVorel
move VorelParticle 0 0 30
rotate VorelParticle x 145
set VorelParticle Radius 6
create box floor
set floor width 300
set floor length 300
set floor height 2
move floor 0 0 -2
attrib floor "Vorel CA"
set floor collide on
set floor partKiller off
set floor collisionGap 0.01
# The attractor aims the particles at the corners of a box 60 units along +x.
ui create objAttractor 320,240 360,240
create box target
set target width 10
set target length 10
set target height 10
move target 60 0 0
select VorelobjAttr
ui open VorelobjAttr
ui press Parameters 1200
ui pick target
ui read Parameters 1201
ui close
bind VorelParticle VorelobjAttr
action GO!
# Early on the stream is still under the emitter; once on the floor the
# liquid runs toward the target, staying on the floor.
centroid VorelParticle 5 x<6 count>=40
centroid VorelParticle 30 x>12 z>0 z<10 count>=300
echo attractor pour done

# The same pour beside the bottom side of a 200 x 40 rectangle, which runs
# along +x through the pouring point (the path goes counter-clockwise).
reset
range 0 30
create Vorel
delete floorVorel
move VorelParticle 0 0 30
rotate VorelParticle x 145
set VorelParticle Radius 6
create box floor
set floor width 300
set floor length 300
set floor height 2
move floor 0 0 -2
attrib floor "Vorel CA"
set floor collide on
set floor partKiller off
set floor collisionGap 0.01
ui create Vorel-path 320,240 330,240
create rectangle path
set path length 40
set path width 200
move path 0 20 1
select VorelpathFollow
ui open VorelpathFollow
ui press Parameters 1200
ui pick path
ui read Parameters 1201
ui close
bind VorelParticle VorelpathFollow
action GO!
# Pushed along the side (+x) and held onto it (y near 0).
centroid VorelParticle 5 x<6 count>=40
centroid VorelParticle 30 x>25 y>-5 y<5 z>0 count>=300
echo path pour done
