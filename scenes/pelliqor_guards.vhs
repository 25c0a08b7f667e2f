# Where the wrapper would otherwise show or write nothing without a word:
# an export directory left empty (the registry key exists without its
# "dataPath"), the events it was limited to deleted (also after a save and
# load), and the main plug-in's hand-off with the fluid system itself
# selected instead of its emitters.
registry "SOFTWARE\Kestrane\Pelliqor" installed yes
create ScriptedParticles spray
particles spray 0 0,0,0 2,0,0 0,2,0 2,2,0 1,1,1.5
create Pelliqor wrap
get wrap "Export directory"
call wrap pelliqorNodeOps addNode spray
set wrap useCache on
set wrap usePartCache on
export wrap 0 wrap0.obj
create ScriptedEventSystem flow
pfevent flow Birth
pfevent flow Spill
particles Birth 0 10,0,0 12,0,0 10,2,0 12,2,0 11,1,1.5
particles Spill 0 30,0,0 32,0,0 30,2,0 32,2,0 31,1,1.5
create Pelliqor events
call events pelliqorNodeOps addNode flow
call events pelliqorNodeOps addPFnode Birth
set events useAllPFEvents off
export events 0 birth.obj
delete Birth
export events 0 spill.obj
save guards.vsc
load guards.vsc
create Vorel
select Vorel_001
action 0x2B8C643E 40032
echo pelliqor guards done
