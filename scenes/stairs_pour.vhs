# A gentle pour (Radius 5, Emission Rate 2, LOD 6) onto the top of five
# stairs: boxes 6 wide and 30 deep whose tops step down by 6, from 40 to
# 16, each with the attribute's collision settings.
# The liquid runs down to the lowest step (some particle within 10 above
# its top: x 21..27, z 16..26; it took 115 to 130 frames of the 180), and
# none rises above the emitter (at 48) plus one spacing (3.33): 51.4 (a
# spacing is 20 / LOD: at LOD 4 the bound is 53, and there a splash off the
# liquid piled under the emitter reached 51.6). With the defaults it clung
# to the first step and threw particles 60 units above the emitter. Then
# the same with adherence 0 (over 90 frames).
range 0 179
create Vorel
delete floorVorel
create box step1
set step1 width 6
set step1 length 30
set step1 height 40
move step1 0 15 0
create box step2
set step2 width 6
set step2 length 30
set step2 height 34
move step2 6 15 0
create box step3
set step3 width 6
set step3 length 30
set step3 height 28
move step3 12 15 0
create box step4
set step4 width 6
set step4 length 30
set step4 height 22
move step4 18 15 0
create box step5
set step5 width 6
set step5 length 30
set step5 height 16
move step5 24 15 0
attrib step1 "Vorel CA"
attrib step2 "Vorel CA"
attrib step3 "Vorel CA"
attrib step4 "Vorel CA"
attrib step5 "Vorel CA"
set step1 partKiller off
set step2 partKiller off
set step3 partKiller off
set step4 partKiller off
set step5 partKiller off
set step1 collide on
set step2 collide on
set step3 collide on
set step4 collide on
set step5 collide on
move VorelParticle 1 15 48
rotate VorelParticle x 145
set VorelParticle Radius 5
set VorelParticle "Emission Rate" 2
set VorelParticle stopFrame 180
action GO!
framecheck ${TMPDIR}/Vorel/aux001 0 179 inside=-500,-500,-500,500,500,51.4 reach=21,0,16,27,30,26 count>=50
echo stairs done
reset
range 0 89
create Vorel
delete floorVorel
create box step1
set step1 width 6
set step1 length 30
set step1 height 40
move step1 0 15 0
create box step2
set step2 width 6
set step2 length 30
set step2 height 34
move step2 6 15 0
create box step3
set step3 width 6
set step3 length 30
set step3 height 28
move step3 12 15 0
create box step4
set step4 width 6
set step4 length 30
set step4 height 22
move step4 18 15 0
create box step5
set step5 width 6
set step5 length 30
set step5 height 16
move step5 24 15 0
attrib step1 "Vorel CA"
attrib step2 "Vorel CA"
attrib step3 "Vorel CA"
attrib step4 "Vorel CA"
attrib step5 "Vorel CA"
set step1 partKiller off
set step2 partKiller off
set step3 partKiller off
set step4 partKiller off
set step5 partKiller off
set step1 collide on
set step2 collide on
set step3 collide on
set step4 collide on
set step5 collide on
set step1 adherence 0
set step2 adherence 0
set step3 adherence 0
set step4 adherence 0
set step5 adherence 0
move VorelParticle 1 15 48
rotate VorelParticle x 145
set VorelParticle Radius 5
set VorelParticle "Emission Rate" 2
set VorelParticle stopFrame 90
action GO!
framecheck ${TMPDIR}/Vorel/aux002 0 89 inside=-500,-500,-500,500,500,51.4 reach=21,0,16,27,30,26 count>=50
echo stairs without adherence done
