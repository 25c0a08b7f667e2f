# Where a fluid system's cache lands and how it is solved again. A scene
# saved under a relative name lies in the working folder: a system created
# afterwards keeps its cache there ("Vorel/pour_aux002"), never at the root
# of the file system. "Hold time" solves only its own frame (frame 1 stays
# unsolved until GO!), and the progress dialogs show every line they write.
range 0 10
create Vorel
save pour.vsc
create Vorel
files Vorel/pour_aux002 *.Vorel
select Vorel_002
ui watch "Vorel dynamic solver"
escape 60
action "Hold time"
escape 0
files Vorel/pour_aux002 *.Vorel
action GO!
files Vorel/pour_aux002 *.Vorel
