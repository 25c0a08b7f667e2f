// The object manager: a modeless table of every collider of a fluid system
// with its per-object settings, edited for the highlighted rows at once.
#pragma once
#include <functional>
#include <string>

#include "fluid_core/engine.h"
#include "host/sdk/max.h"
#include "host/ui/ui.h"

constexpr int kObjectManagerDialog = 183;
enum ObjectManagerControl : int {
  kOmList = 1080,
  kOmClose = 1088,
  kOmAddSelection = 1068,
  kOmDeleteHighlighted = 1069,
  kOmApply = 1089,
  kOmGapEdit = 1495, kOmGapSpin = 1060,
  kOmBounceEdit = 1053, kOmBounceSpin = 1061,
  kOmFrictionEdit = 1058, kOmFrictionSpin = 1062,
  kOmAdherenceEdit = 1059, kOmAdherenceSpin = 1063,
  kOmMapResEdit = 1493, kOmMapResSpin = 1064,
  kOmDryingEdit = 1494, kOmDryingSpin = 1065,
  kOmTracer = 1007,
  kOmPartKiller = 1129,
};
constexpr int kObjectManagerColumns = 10;

// How the manager reaches the engine of the fluid system it was opened for
// (the fluid system class installs it).
using ObjectManagerEngineResolver = std::function<FluidEngine*(ReferenceTarget* system)>;
void SetObjectManagerEngineResolver(ObjectManagerEngineResolver resolver);

// One collider's settings, as the table shows and the controls edit them.
struct ColliderSettings {
  int collide = 1;
  float collisionGap = 0, bounce = 0, friction = 0, adherence = 0;
  bool partKiller = false;
  int tracer = 0, mapRes = 256;
  float dryingTime = 0;
  std::string mapPrefix;
};
// Reads a node's settings; false (out untouched) when the node has no
// attribute or a read fails.
bool ReadObjectSettings(INode* node, ColliderSettings& out);
// Writes them (collide on), keeping the node's wet-map prefix; false when
// the attribute could not be written.
bool WriteObjectSettings(INode* node, const ColliderSettings& s, FluidEngine* engine);
// The ten cell texts of a node's row; false when its settings do not read.
bool ObjectRowTexts(INode* node, std::string cells[kObjectManagerColumns]);

// Which setting a control edits.
enum class ObjectSetting { Gap, Bounce, Friction, Adherence, MapRes, Drying, Tracer, PartKiller };
// Read-modify-write of one setting on a node: nodes that cannot be found
// (null) or whose settings do not read are left alone. True when written.
bool EditObjectSetting(INode* node, ObjectSetting which, float value, FluidEngine* engine);

INT_PTR CALLBACK ObjectManagerDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The open manager (null when none).
HWND ObjectManagerDialog();
// Opens the manager for a system unless one is open or there is no system;
// the window.
HWND OpenObjectManager(ReferenceTarget* system);
// A fluid system is going away: a manager open for it closes and forgets it.
void ObjectManagerSystemDeleted(ReferenceTarget* system);
// The rectangle remembered across openings (all zero: none yet).
RECT ObjectManagerRect();

void RegisterObjectManagerDialog(HINSTANCE instance);
