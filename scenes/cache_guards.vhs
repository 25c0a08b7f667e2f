# What a user sees when the cache is not what it should be: a surface
# turned on after a solve says how to build its meshes; a pack one of whose
# frames is damaged is refused, naming the frame, and the cache stays.
range 0 4
create Vorel
set VorelParticle Radius 6
set VorelParticle "Emission Rate" 8
action GO!
set Vorel_001 ShowMesh on
export Vorel_001 4 surface.obj
ui open Vorel_001
ui file-answer whole
ui press "Cache " 1019

# Frame 2 overwritten by another file, then packed as it is.
matlib tmp/Vorel/aux001/00002.Vorel Water
ui file-answer damaged
ui press "Cache " 1019
ui file-answer damaged.Vor 1
ui press "Cache " 1017
ui read "Cache " 1054
files tmp/Vorel/aux001 *.Vorel

# The whole pack still unpacks.
ui file-answer whole.Vor 1
ui press "Cache " 1017
ui read "Cache " 1054
framecheck tmp/Vorel/aux001 0 4 count>=1
echo cache guards done
