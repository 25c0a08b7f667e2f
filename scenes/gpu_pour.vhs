# The GPU route end to end: a GPU fluid object with its first source pouring
# into its collider box, solved by the solver program that the front-end
# starts from the installation folder the registry names (the build's
# gpu_app/, with the CPU build of Vorel_solver), the frames played back and
# the surface of two frames exported; every surface written is a closed
# 2-manifold.
registry "SOFTWARE\Kestrane\Vorel_GPU" appPath "${VOREL_BINARY_DIR}/gpu_app"
create Vorel_GPU
set Vorel_GPU_ SolverEnd 8
set Vorel_GPU_ GenerateSurface on
ui open Vorel_GPU_
ui press "Main controls and params" 1027
waitprograms
time 4
export Vorel_GPU_ 4 gpu_pour_4.obj
time 8
export Vorel_GPU_ 8 gpu_pour_8.obj
meshcheck tmp/Vorel/caches/default/surface
echo gpu pour done
