# A fluid system's cache under a full disk and across packs: "GO!" stops at
# the first frame it cannot write, says which file and why and keeps the
# frames on disk (the run failed, so the command fails); with room again the
# run goes on. The system's own pack, unpacked at once, shows exactly the
# packed frames, after a scene save and load too. A full disk during an
# unpack or a cache move leaves the system on its whole cache.
range 0 3
create Vorel
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
action GO!
ui open Vorel_001
ui read "Cache " 1054

# The disk fills up: no frame with particles fits any more.
range 0 8
filelimit 1000
fails action GO!
filelimit off
ui read "Cache " 1054
files tmp/Vorel/aux001 *.Vorel*
action GO!
ui read "Cache " 1054

# Pack, then unpack the pack into the same system: frame 0 holds no
# particle, and the time slider at the start adds none.
ui file-answer take
ui press "Cache " 1019
ui file-answer take.Vor 1
ui press "Cache " 1017
ui read "Cache " 1054
centroid VorelParticle 0 count<1
centroid VorelParticle 1 count>0

# The disk fills up again: neither an unpack nor a move to another root
# leaves the system on less than its whole cache.
filelimit 1000
ui file-answer take.Vor 1
ui press "Cache " 1017
mkdir moved
ui set "Cache " 3077 moved
filelimit off
get Vorel_001 TempDirPath
files tmp/Vorel/aux001 *.Vorel
files moved/Vorel/aux001 *.Vorel
ui read "Cache " 1054
ui close
save packed.vsc
reset
load packed.vsc
centroid VorelParticle 0 count<1
echo disk full done
