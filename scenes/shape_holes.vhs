# Emission from plain shapes: holes that touch the outline (listed from two
# different vertices) or lie within twice the emission margin of it emit
# from the outline less the hole, every particle checked by winding number
# against the outlines; a figure eight, nested outlines, a ring drawn twice
# the same way round and a square outside the clip box emit nothing and say
# why.
range 0 2
create Vorel
spline touchA 0,0 40,0 40,40 0,40 | 20,0 10,10 20,20 30,10
spline touchB 0,0 40,0 40,40 0,40 | 10,10 20,20 30,10 20,0
spline near 0,0 40,0 40,40 0,40 | 20,0.0005 10,10 20,20 30,10
spline eight 0,0 40,40 40,0 0,40
spline nested 0,0 40,0 40,40 0,40 | 10,10 30,10 30,30 10,30
spline twice 0,0 40,0 40,40 0,40 | 0,0 40,0 40,40 0,40
spline away 0,0 40,0 40,40 0,40
move touchA -95 -95 0
move touchB -45 -95 0
move near 5 -95 0
move eight -95 5 0
move nested -45 5 0
move twice 5 5 0
move away 300 0 0
select Vorel_001
action "Add a new Vorel source"
action "Add a new Vorel source"
action "Add a new Vorel source"
action "Add a new Vorel source"
action "Add a new Vorel source"
action "Add a new Vorel source"
ui open VorelParticle
ui select-answer touchA
ui set "Source params" 1022 1
ui close
ui open VorelParticle001
ui select-answer touchB
ui set "Source params" 1022 1
ui close
ui open VorelParticle002
ui select-answer near
ui set "Source params" 1022 1
ui close
ui open VorelParticle003
ui select-answer eight
ui set "Source params" 1022 1
ui close
ui open VorelParticle004
ui select-answer nested
ui set "Source params" 1022 1
ui close
ui open VorelParticle005
ui select-answer twice
ui set "Source params" 1022 1
ui close
ui open VorelParticle006
ui select-answer away
ui set "Source params" 1022 1
ui close
action GO!
time 1
# Particles move a little sideways in their first frame: 1.5 units (under
# half the emission step) is allowed; the hole reaches 7 units in.
inshape VorelParticle 1 touchA 1.5
inshape VorelParticle001 1 touchB 1.5
inshape VorelParticle002 1 near 1.5
centroid VorelParticle 1 count>=150
centroid VorelParticle001 1 count>=150
centroid VorelParticle002 1 count>=150
centroid VorelParticle003 1 count<1
centroid VorelParticle004 1 count<1
centroid VorelParticle005 1 count<1
centroid VorelParticle006 1 count<1
echo shape holes done
