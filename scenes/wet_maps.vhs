# Wet maps: liquid poured onto a tray that records where it got wet. The tray
# is made and given its collision settings before the fluid system, whose
# reset registers every colliding object for a wet map; it keeps the
# particles (no killer) so that they rest on it. After GO! the "Repaint
# wetmaps" command paints one bitmap per solved frame, and each file is read
# back by a reader of its own, as an image viewer would.
range 0 23
create Box tray
set tray width 80
set tray length 80
set tray height 4
move tray 0 0 24
attrib tray "Vorel CA"
set tray collide on
set tray partKiller off
set tray MapRes 64
set tray drying_time 0.5
create Vorel
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
set Vorel_001 CalculateSurfaceAlso on
action GO!
action 0x2B8C643E -25513
echo painted
# Frame 0 has no liquid surface before it: the map only dries. Emission is
# seeded by the clock, so only the last frame is sure to have met the tray.
image ${TMPDIR}/Vorel/aux001/maps/tray/tray0000.bmp
image ${TMPDIR}/Vorel/aux001/maps/tray/tray0012.bmp
image ${TMPDIR}/Vorel/aux001/maps/tray/tray0023.bmp
echo wet maps done
