# Source presets as files a user keeps: a name with a blank comes back whole,
# a preset saved under another extension is written with the preset's own
# added, listed and loaded, and the system's scale travels with the preset;
# the material library beside a preset gives its system the preset's
# material, and one without it leaves the material as it was.
create Vorel
create Vorel
set Vorel_001 Scale 2
ui open VorelParticle
ui set "Source params" 1001 2.5
ui set Presets 1136 "My Syrup"
ui file-answer "My Syrup.VorPreset"
ui press Presets 1016
ui set "Source params" 1001 3.5
ui file-answer Other.txt
ui press Presets 1016
ui close
files host/plugcfg/Vorel/presets
ui open VorelParticle001
ui press Presets 1134
ui set #224 1080 "My Syrup"
ui read #224 1001
ui read #224 1027
ui press #224 1089
ui read Presets 1136
ui set #224 1080 Other.txt
ui read #224 1001
ui press #224 1089
ui press #224 1088
ui close
get VorelParticle001 "Emission Rate"
get VorelParticle001 PresetName
get Vorel_002 Scale
material Vorel_002
matlib "host/plugcfg/Vorel/presets/My Syrup.mat" Water "My Syrup"
matlib host/plugcfg/Vorel/presets/Other.txt.mat Water
ui open VorelParticle001
ui press Presets 1134
ui set #224 1080 "My Syrup"
ui press #224 1089
ui set #224 1080 Other.txt
ui press #224 1089
ui press #224 1088
ui close
material Vorel_002
echo preset files done
