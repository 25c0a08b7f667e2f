# An artist drives an emitter through its rollouts: emits from a picked
# shape (the emitter takes the shape's transform and the shape stops
# colliding), gives up choosing a shape (back to a circle), fills a small box
# through "Object filled" and then a tank through "Select", and shows the
# fill particles; then picks an instanced geometry and a mapper object and
# switches the particle look and render type with the toolbar following.
range 0 20
create Vorel
create Rectangle outline
set outline length 20
set outline width 30
move outline 10 20 60
attrib outline "Vorel CA"
set outline collide on
create Box small
set small length 10
set small width 10
set small height 10
move small -40 0 0
create Box tank
set tank length 20
set tank width 20
set tank height 20
move tank 0 0 100
create Sphere drop
set drop radius 1
create Box mapperBox
move mapperBox 50 0 0
ui open VorelParticle
ui select-answer outline
ui set "Source params" 1022 1
get VorelParticle EmissionType
ui read "Source params" 1025
where VorelParticle
get outline collide
# Cancelling the shape selection leaves a circle emitter.
ui select-cancel
ui set "Source params" 1022 1
get VorelParticle EmissionType
ui read "Source params" 1025
ui select-answer small
ui set "Source params" 1024 1
get VorelParticle EmissionType
ui read "Source params" 1025
get VorelParticle "#particlesFilled"
ui select-answer tank
ui press "Source params" 1015
ui read "Source params" 1025
get VorelParticle "#particlesFilled"
centroid VorelParticle 0 count>=79
set VorelParticle DisplayType 1
ui redraw
ui press "Particle display params" 1076
ui pick drop
ui read "Particle display params" 1089
ui press "Source params" 1102
ui pick mapperBox
ui read "Source params" 1103
# The floating toolbar follows the display rollout's radios; the facing
# flyout is there for facing quads and gone for tetrahedra.
ui action 40021
ui set "Particle display params" 3052 1
ui read "Vorel Toolbar" 10008
ui set "Particle display params" 3072 1
ui read "Vorel Toolbar" 10010
ui set "Particle display params" 3079 1
ui read "Vorel Toolbar" 10013
ui set "Particle display params" 3071 1
ui show "Vorel Toolbar"
ui set "Particle display params" 3074 1
get VorelParticle RenderType
ui read "Vorel Toolbar" 10010
render 0 0
ui close
echo emitter ui done
