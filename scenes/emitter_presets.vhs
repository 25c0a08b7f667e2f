# A liquid tuned in one emitter's rollouts is saved as a source preset from its
# "Presets" rollout and loaded into the emitter of a second fluid system
# through the preset browser; the second emitter's rollouts show the values.
create Vorel
create Vorel
ui open VorelParticle
ui set "Source params" 1001 2.5
ui set "Source params" 1493 12.5
ui set "Source params" 1011 3
ui set Presets 1136 Syrup
ui set Presets 1138 40
ui file-answer Syrup.VorPreset
ui press Presets 1016
ui close
ui open VorelParticle001
ui read "Source params" 1001
ui press Presets 1134
ui set #224 1080 Syrup
ui read #224 1001
ui press #224 1089
ui press #224 1088
ui read "Source params" 1001
ui read "Source params" 1493
ui read "Source params" 1011
ui read Presets 1136
ui read Presets 1138
ui close
get VorelParticle001 "Emission Rate"
get VorelParticle001 PresetName
echo emitter presets done
