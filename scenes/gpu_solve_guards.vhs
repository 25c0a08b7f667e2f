# The GPU route where a user's action did nothing, or the wrong thing,
# without a word: GO! with no solver installed, the source's own rollout
# (a radius of 0 pours nothing and the solver says so), CLEAN while the
# solver writes into the cache, and a frame shown before the solver has
# written it (its empty surface is not stored in place of the real one).
create Vorel_GPU
set Vorel_GPU_ SolverEnd 20
set Vorel_GPU_ GenerateSurface on
ui open Vorel_GPU_
ui press "Main controls and params" 1027
registry "SOFTWARE\Kestrane\Vorel_GPU" appPath "${VOREL_BINARY_DIR}/gpu_app"
ui open Vorel_source_
ui show #189
ui set #189 1490 0
get Vorel_source_ radius
ui open Vorel_GPU_
ui press "Main controls and params" 1027
waitprograms
ui open Vorel_source_
ui set #189 1490 5
get Vorel_source_ radius
ui open Vorel_GPU_
ui press "Main controls and params" 1027
ui press "Main controls and params" 1029
time 20
export Vorel_GPU_ 20 early.obj
waitprograms
time 20
export Vorel_GPU_ 20 solved.obj
files tmp/Vorel/caches/default/surface m00020.bin
echo gpu solve guards done
