# A lone drop with adherence 0: a short burst (Radius 1.5, the smallest that
# emits at LOD 6, for two frames) falls 12 units onto a slab whose
# attribute has adherence 0 (friction 4, bounce 4, gap 4). Nothing but the
# push of the slab sends it up again, and a push gives back at most what
# the fall put in: each rebound's peak (of the highest particle, frame by
# frame) lower than the one before. The stiff push taken at the start of
# each step sent it higher every time: 16.6, 21.0, 28.2, 36.4.
# Every frame within the slab's box and below the emitter (16) plus its
# Radius and one spacing (3.33): 20.8. The burst starts up to 1.1 above the
# emitter at LOD 10 and 1.6 at LOD 4 (Radius 2.25, the smallest that emits
# there): a top of 17 was passed at LOD 10.
range 0 44
create Vorel
delete floorVorel
create box slab
set slab width 60
set slab length 60
set slab height 4
move slab 0 15 0
attrib slab "Vorel CA"
set slab collide on
set slab partKiller off
set slab adherence 0
move VorelParticle 0 15 16
rotate VorelParticle x 145
set VorelParticle Radius 1.5
set VorelParticle "Emission Rate" 2
set VorelParticle stopFrame 2
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 44 inside=-30,-15,4,30,45,20.8 falling count>=1
echo drop done
