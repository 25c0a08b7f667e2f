# Pelliqor wraps a scripted particle system over several frames, writes its
# particle and surface caches while the range plays, and shows the cached
# surfaces again once the particles are gone. A wrapper made by class id
# takes a node through its published interface, as the main plug-in does.
range 0 3
create ScriptedParticles spray
particles spray 0 0,0,0 2,0,0 0,2,0 2,2,0 1,1,1.5
particles spray 2 0,0,0 2,0,0 0,2,0 2,2,0 1,1,1.5 4,0,0 4,2,0 3,1,1.5
create Pelliqor wrap
call wrap pelliqorNodeOps addNode spray
call wrap pelliqorNodeOps addNode spray
get wrap nodeList
set wrap "Export directory" cache
set wrap useCache on
set wrap usePartCache on
play
export wrap 0 frame0.obj
export wrap 2 frame2.obj
delete spray
export wrap 0 cached0.obj
export wrap 2 cached2.obj
# Without the surface cache the particle cache stands in for the particles.
set wrap useCache off
export wrap 2 fromparticles2.obj
# An event-driven system: all its events, or only the chosen one.
create ScriptedEventSystem flow
pfevent flow Birth
pfevent flow Spill
particles Birth 0 10,0,0 12,0,0 10,2,0 12,2,0 11,1,1.5
particles Spill 0 30,0,0 32,0,0 30,2,0
create Pelliqor events
call events pelliqorNodeOps addNode flow
call events pelliqorNodeOps addPFnode Birth
export events 0 allevents.obj
set events useAllPFEvents off
export events 0 birthonly.obj
# The wrapper made the way the main plug-in makes one.
create 0x5944D962:0x369BB1C6 handoff
create ScriptedParticles drops
call handoff pelliqorNodeOps addNode drops
get handoff nodeList
undo
get handoff nodeList
echo pelliqor done
