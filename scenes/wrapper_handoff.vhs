# The main plug-in hands the selected particle systems to the particle
# wrapper through the host: its action "Pelliqor" (40032) makes a wrapper
# object by class id and adds the selection through the wrapper's scripting
# interface; the wrapper then meshes the particles.
create Vorel
create ScriptedParticles spray
particles spray 0 0,0,0 2,0,0 0,2,0 2,2,0 1,1,1.5
select spray
action 0x2B8C643E 40032
nodes
export Pelliqor_ 0 wrap.obj
echo handoff done
