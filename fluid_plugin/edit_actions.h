// The short editing commands of the action table: flushing the particle and
// surface caches, adding and switching sources, the look of the selected
// emitters, the clip box and surface switches, the toolbar, the object
// manager, the log, the help and the particle wrapper hand-off. Each finishes
// at once; the long runs live in vor_actions.h.
#pragma once
#include <string>

#include "host/sdk/max.h"

class TetraProcObj;

// The edit-action handler of the action callback: runs command `id` on the
// current system (null: only the commands that need none run) and answers
// true when the id is one of these commands.
bool RunEditAction(int id, TetraProcObj* current);

// Toolbar states of a system: after "New Vorel" (the ini's toolbar and
// defaults) and after a scene load (the saved toolbar flag, "ShowClipBox"
// and "ShowMesh").
void SetToolbarForNewSystem(TetraProcObj* system);
void SetToolbarAfterLoad(TetraProcObj* system);

// The cache number of a particle frame file name: exactly five decimal digits
// followed by ".Vorel" (case as written); false for any other name.
bool ParseFrameFileName(const std::string& name, int& number);

// The commands one by one (RunEditAction dispatches to them).
void FlushAnimation(TetraProcObj* system);
void FlushSurfaceCache(TetraProcObj* system);
void AddSource(TetraProcObj* system);
// 40007 / 40008: negates "DisableSource" / "RandomEmission" of every source
// slot whose node is selected.
void ToggleSelectedSources(TetraProcObj* system, int paramId);
void ToggleClipBox(TetraProcObj* system);
// Sets an emitter parameter at time 0 on every selected emitter node; with
// facingSteps the facing-orientation button follows each emitter.
void SetSelectedEmitters(int paramId, int value, bool facingSteps);
void ToggleSizeOnSolitude(TetraProcObj* system);
void ToggleSurface(TetraProcObj* system);
