# An artist drives the GPU fluid object through its rollouts: fills a tank
# through the fill rollout (it becomes a collider too), picks a spare source
# and a wall through the pick dialogs, saves the liquid as a preset, changes
# it, loads the preset back from the preset list, starts a new cache and
# exports PRT files.
create Vorel_GPU
set Vorel_GPU_ "Source LOD" 5
create Box tank
set tank length 30
set tank width 30
set tank height 30
move tank 0 0 40
create 0x430E10C6:0x7280BD61 spare
create Box wall
move wall 0 0 -5
ui open Vorel_GPU_
ui select-answer tank
ui press "Filled Objects" 1332
get Vorel_GPU_ fillingNodeList
get Vorel_GPU_ collidersNodeList
get Vorel_GPU_ "#particlesFilled"
get Vorel_GPU_ fillingPercentage
# Fewer layers go to the solver: the count follows the layer table.
ui set "Filled Objects" 1336 #0
ui set "Filled Objects" 1504 2
get Vorel_GPU_ "#particlesFilled"
ui select-answer spare
ui press Sources 1017
get Vorel_GPU_ sourcesNodeList
ui select-answer wall
ui press "Colliding geometry" 1334
get Vorel_GPU_ collidersNodeList
undo
get Vorel_GPU_ collidersNodeList
# Presets live in the data root's presets folder, which the installation
# provides.
mkdir tmp/Vorel/presets
set Vorel_GPU_ gravity 4
set Vorel_GPU_ viscosity 1.5
ui set "Main controls and params" 3078 syrup
ui set "Main controls and params" 3078 default
answer Cancel
ui set "Main controls and params" 3078 syrup
set Vorel_GPU_ gravity 9.8
set Vorel_GPU_ viscosity 0
ui close
ui open Vorel_GPU_
ui set "Main controls and params" 1036 syrup
get Vorel_GPU_ gravity
get Vorel_GPU_ viscosity
get Vorel_GPU_ "Preset name"
ui press "Main controls and params" 1146
get Vorel_GPU_ "Cache path"
ui redraw
ui press "Main controls and params" 1037
# Solve the new cache with the solver program the installation names, then
# export the solved frames.
registry "SOFTWARE\Kestrane\Vorel_GPU" appPath "${VOREL_BINARY_DIR}/gpu_app"
set Vorel_GPU_ SolverEnd 4
set Vorel_GPU_ settleframes 0
ui press "Main controls and params" 1027
waitprograms
ui redraw
ui press "Main controls and params" 1037
echo gpu solve and export done
