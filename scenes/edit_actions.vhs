# The short editing commands, run from the "Vorel" menus and the floating
# toolbar as a user runs them, each with its effect checked: the caches on
# disk, the sources, the emitters' settings, the clip box and the toolbar's
# states. Message boxes are answered ahead with "answer".
range 0 10
# Creating a fluid system runs "New Vorel": clip box, first source, floor,
# gizmo, and the toolbar with the new system's state (clip box shown).
create Vorel
ui show "Vorel Toolbar"
set Vorel_001 ShowMesh on
set Vorel_001 CalculateSurfaceAlso on
select Vorel_001
ui press "Vorel Toolbar" 10001
files ${TMPDIR}/Vorel/aux001 *.Vorel
files ${TMPDIR}/Vorel/aux001/surface
# Files that only look like particle frames are never flushed.
export floorVorel 0 ${TMPDIR}/Vorel/aux001/0001.Vorel
export floorVorel 0 ${TMPDIR}/Vorel/aux001/000001.Vorel
export floorVorel 0 ${TMPDIR}/Vorel/aux001/00001.Vorelx

echo -- flush animation beyond frame 5 (menu)
set Vorel_001 KeepUntil 5
answer OK
ui menu "Vorel/Flush animation"
files ${TMPDIR}/Vorel/aux001 *.Vorel*
files ${TMPDIR}/Vorel/aux001/surface
get Vorel_001 KeepUntil
echo -- flush animation, cancelled (toolbar)
set Vorel_001 KeepUntil 2
answer Cancel
ui press "Vorel Toolbar" 10000
files ${TMPDIR}/Vorel/aux001 *.Vorel
get Vorel_001 KeepUntil

echo -- flush surfaces of frames 2 to 3 (menu)
set Vorel_001 EntireAnimationRange off
set Vorel_001 StartFrameMesher 2
set Vorel_001 StopFrameMesher 3
answer OK
ui menu "Vorel/Vorel-Surface/Flush surface mesh cache."
files ${TMPDIR}/Vorel/aux001/surface
echo -- flush every surface: cancelled, then done (toolbar)
set Vorel_001 EntireAnimationRange on
answer Cancel
ui press "Vorel Toolbar" 10020
files ${TMPDIR}/Vorel/aux001/surface
answer OK
ui press "Vorel Toolbar" 10020
files ${TMPDIR}/Vorel/aux001/surface
echo -- flush everything (particles menu)
set Vorel_001 KeepUntil -1
answer OK
ui menu "Vorel/Vorel-Particles/Flush animation"
files ${TMPDIR}/Vorel/aux001 *.Vorel*

echo -- sources
ui press "Vorel Toolbar" 10005
ui menu "Vorel/Sources/Add a new Vorel source"
nodes
select VorelParticle001
get VorelParticle001 DisableSource
ui menu "Vorel/Sources/Start/Stop emitting from selected Vorel sources."
get VorelParticle001 DisableSource
get VorelParticle DisableSource
ui press "Vorel Toolbar" 10003
get VorelParticle001 DisableSource
get VorelParticle001 RandomEmission
ui press "Vorel Toolbar" 10004
get VorelParticle001 RandomEmission
ui menu "Vorel/Sources/Toggles random emission in selected Vorel sources"
get VorelParticle001 RandomEmission

echo -- particle look, render type and facing of the selected emitter
ui flyout "Vorel Toolbar" 10008 2
get VorelParticle001 DisplayType
ui menu "Vorel/Vorel-Particles/Display Type/Particle look: INSTANCES"
get VorelParticle001 DisplayType
ui menu "Vorel/Vorel-Particles/Display Type/Dots"
get VorelParticle001 DisplayType
get VorelParticle DisplayType
set VorelParticle001 FacingOrientation 1
ui flyout "Vorel Toolbar" 10010 1
get VorelParticle001 RenderType
ui show "Vorel Toolbar"
ui flyout "Vorel Toolbar" 10013 2
get VorelParticle001 FacingOrientation
ui menu "Vorel/Vorel-Particles/Render Type/Render type: INSTANCED OBJECT"
get VorelParticle001 RenderType
ui show "Vorel Toolbar"
ui menu "Vorel/Vorel-Particles/Render Type/Nothing"
get VorelParticle001 RenderType
ui menu "Vorel/Vorel-Particles/Render Type/Tetrahedron"
get VorelParticle001 RenderType
ui menu "Vorel/Vorel-Particles/Facing Orientation/Camera"
get VorelParticle001 FacingOrientation
ui menu "Vorel/Vorel-Particles/Facing Orientation/Speed"
get VorelParticle001 FacingOrientation
get VorelParticle FacingOrientation

echo -- size on solitude
ui press "Vorel Toolbar" 10016
get VorelParticle001 SizeOnSolitude
ui show "Vorel Toolbar"
ui menu "Vorel/Vorel-Particles/Particle size depends on solitude"
get VorelParticle001 SizeOnSolitude
ui show "Vorel Toolbar"

echo -- clip box
ui press "Vorel Toolbar" 10006
nodes
get Vorel_001 ShowClipBox
ui show "Vorel Toolbar"
ui menu "Vorel/Vorel-Particles/Hide/Shows particle clip box"
get Vorel_001 ShowClipBox
ui show "Vorel Toolbar"
delete Vorelclip
ui press "Vorel Toolbar" 10006
ui press "Vorel Toolbar" 10006
nodes
ui show "Vorel Toolbar"

echo -- surface switch
select Vorel_001
ui press "Vorel Toolbar" 10017
get Vorel_001 ShowMesh
ui show "Vorel Toolbar"
ui menu "Vorel/Vorel-Surface/Enable surface"
get Vorel_001 ShowMesh
ui show "Vorel Toolbar"

echo -- toolbar, object manager, log, help
ui menu "Vorel/Vorel TOOLBAR"
ui press "Vorel Toolbar" 10023
ui dialogs
ui press "Vorel Toolbar" 10024
ui press "Vorel Toolbar" 10025
programs

echo -- new system from the toolbar, wrapper from the menu
ui press "Vorel Toolbar" 10019
deselect
ui menu "Vorel/new Pelliqor with selected particle"
nodes
echo edit actions done
