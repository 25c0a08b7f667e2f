# The GPU route of the demo: scenes/gpu_pour.vhs over 30 frames. The source
# pours for 13 frames; the liquid then settles in the collider box.
registry "SOFTWARE\Kestrane\Vorel_GPU" appPath "${VOREL_BINARY_DIR}/gpu_app"
create Vorel_GPU
set Vorel_GPU_ SolverEnd 30
set Vorel_GPU_ GenerateSurface on
ui open Vorel_GPU_
ui press "Main controls and params" 1027
waitprograms
time 10
export Vorel_GPU_ 10 gpu_pour_10.obj
time 30
export Vorel_GPU_ 30 gpu_pour_30.obj
