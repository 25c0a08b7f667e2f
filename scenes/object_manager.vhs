# The object manager of a new fluid system, opened from its action: one row
# per collider, an edit of the highlighted row, a collider taken out and
# added back; then the "Vorel" menu's toolbar item and a toolbar flyout.
create 0x2B7C693E:0x07443541 Liquid
create Box crate
attrib crate "Vorel CA"
set crate collide 1
set crate collisionGap 0.25
select crate
ui action -25512
ui set "Vorel Obejct Manager" 1080 crate
ui set "Vorel Obejct Manager" 1061 42
get crate bounce
get crate collisionGap
ui press "Vorel Obejct Manager" 1069
get crate collide
ui press "Vorel Obejct Manager" 1068
get crate collide
get crate collisionGap
ui press "Vorel Obejct Manager" 1088
ui menu "Vorel/Vorel TOOLBAR"
ui tooltip "Vorel Toolbar" 10010
ui flyout "Vorel Toolbar" 10010 2
ui tooltip "Vorel Toolbar" 10010
echo object manager done
