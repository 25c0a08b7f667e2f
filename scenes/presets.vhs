# Presets: one emitter's particle profile saved from its "Presets" rollout and
# loaded into another emitter through the preset browser.
create 0x2BC6692F:0x4CB67E0B first
create 0x2BC6692F:0x4CB67E0B second
set first PresetName Syrup
set first "Emission Rate" 2.5
set first Thickness 12.5
set first Source_gravity 40
ui open first
ui file-answer Syrup.VorPreset
ui press #223 1016
ui close
ui open second
ui press #223 1134
ui set #224 1080 Syrup
ui read #224 1496
ui press #224 1089
ui press #224 1088
get second PresetName
get second "Emission Rate"
get second Thickness
get second Source_gravity
echo presets done
