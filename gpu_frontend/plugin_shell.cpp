// The library shell: string table, class descriptors with their parameter
// block descriptions, the exported entry points and the shared utilities.
#include "gpu_frontend/plugin_shell.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/gpu_source.h"
#include "host/core/files.h"
#include "host/core/registry.h"
#include "host/core/strings.h"
#include "host/ui/window.h"

namespace vorel_gpufe {

namespace {

const vorel::host::StringResource kStrings[] = {
    {1, "Creates a blob wrapper object based on particle positions (Kestrane)"},
    {2, "Vorel pouring system"},
    {3, "Vorel_GPU"},
    {4, "Main controls and params"},
    {5, "Playback Speed"},
    {6, "Time offset"},
    {7, "Cache path"},
    {8, "Generate surface"},
    {9, "Surface level of detail"},
    {10, "disable"},
    {14, "Object list"},
    {16, "Add selected"},
    {19, "Hide in viewports"},
    {23, "Particle drop size"},
    {24, "Melting force"},
    {25, "Shrink wrap force"},
    {26, "Colliding geometry"},
    {27, "Surface Mesh parameters"},
    {28, "Filled Objects"},
    {34, "Sources"},
    {35, "Vorel list of sources"},
    {37, "Radius"},
    {38, "Speed"},
    {39, "Add existing source to the source list"},
    {41, "Display, stast and playback"},
};
VOREL_STRING_TABLE(kStrings);

HINSTANCE gModule = nullptr;
int32_t gControlsInitialised = 0;
int gControlsInitCount = 0;

BlobNodeClassDesc gBlobNodeDesc;
VorSourceObjClassDesc gSourceDesc;

constexpr int kAnimReset = P_ANIMATABLE | P_RESET_DEFAULT;  // 0x21

using namespace blob_param;
using blob_map::kColliders;
using blob_map::kDisplay;
using blob_map::kFillers;
using blob_map::kMain;
using blob_map::kSources;
using blob_map::kSurface;

ParamBlockDesc2 gBlobBlock(
    0, "params", 0, &gBlobNodeDesc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
    {RolloutDef{kMain, 185, 4, 0, nullptr}, RolloutDef{kDisplay, 191, 41, 0, nullptr},
     RolloutDef{kColliders, 101, 26, 0, nullptr}, RolloutDef{kFillers, 186, 28, APPENDROLL_CLOSED, nullptr},
     RolloutDef{kSources, 188, 34, APPENDROLL_CLOSED, nullptr},
     RolloutDef{kSurface, 190, 27, APPENDROLL_CLOSED, nullptr}},
    {ParamDef(kDisable, "Disable", TYPE_BOOL, kAnimReset, 10).Default(0).CheckBox(kMain, 1091),
     ParamDef(kHideInViewports, "HideInViewports", TYPE_BOOL, kAnimReset, 19).Default(0).CheckBox(kSurface, 1092),
     ParamDef(kCachePath, "Cache path", TYPE_FILENAME, P_RESET_DEFAULT, 7),
     ParamDef(kTimeOffset, "TimeOffset", TYPE_INT, P_ANIMATABLE, 6)
         .Default(0).Range(-1000, 1000).Spinner(kDisplay, EDITTYPE_INT, 1492, 1498, 1.0f),
     ParamDef(kPlaybackSpeed, "PlaybackSpeed", TYPE_FLOAT, kAnimReset, 5)
         .Default(100.0f).Range(-1000.0f, 1000.0f).Spinner(kDisplay, EDITTYPE_FLOAT, 1490, 1496, 1.0f),
     ParamDef(kGenerateSurface, "GenerateSurface", TYPE_BOOL, kAnimReset, 8).Default(0).CheckBox(kSurface, 1093),
     ParamDef(kSurfaceLOD, "Surface LOD", TYPE_FLOAT, kAnimReset, 9)
         .Default(6.0f).Range(0.0f, 250.0f).Spinner(kSurface, EDITTYPE_FLOAT, 1011, 1012, 0.1f),
     ParamDef(kDropSize, "Drop Size", TYPE_FLOAT, kAnimReset, 23)
         .Default(1.0f).Range(0.01f, 250.0f).Spinner(kSurface, EDITTYPE_FLOAT, 1491, 1497, 0.01f),
     ParamDef(kMeltingForce, "Melting Force", TYPE_FLOAT, kAnimReset, 24)
         .Default(4.0f).Range(1.6f, 250.0f).Spinner(kSurface, EDITTYPE_FLOAT, 1493, 1499, 0.1f),
     ParamDef(kShrinkWrap, "Shrink Wrap", TYPE_FLOAT, kAnimReset, 25)
         .Default(0.5f).Range(0.0f, 1.0f).Spinner(kSurface, EDITTYPE_FLOAT, 1494, 1500, 0.01f),
     ParamDef(kShowParticles, "ShowParticles", TYPE_BOOL, kAnimReset)
         .LocalName("Show particles").Default(1).CheckBox(kDisplay, 1094),
     ParamDef(kUseCache, "UseCache", TYPE_BOOL, kAnimReset).LocalName("use cache").Default(1).CheckBox(kSurface, 1017),
     ParamDef(kDisplayPercentage, "DisplayPercentage", TYPE_INT, kAnimReset)
         .LocalName("DisplayPercentage").Default(100).Range(1, 100)
         .Spinner(kDisplay, EDITTYPE_INT, 1495, 1501, 1.0f),
     ParamDef(kFillingNodeList, "fillingNodeList", TYPE_INODE_TAB, P_VARIABLE_SIZE, 14)
         .NodeListBox(kFillers, 1336, 0, 0, 1333),
     ParamDef(kCollidersNodeList, "collidersNodeList", TYPE_INODE_TAB, P_VARIABLE_SIZE, 14)
         .NodeListBox(kColliders, 1015, 0, 0, 1018),
     ParamDef(kSourceLOD, "Source LOD", TYPE_FLOAT, kAnimReset)
         .LocalName("Source LOD").Default(20.0f).Range(0.001f, 512.0f)
         .Spinner(kMain, EDITTYPE_FLOAT, 1014, 1013, 0.1f),
     ParamDef(kFillingPercentage, "fillingPercentage", TYPE_INT, kAnimReset)
         .LocalName("Filling Percentage").Default(100).Range(0, 6000)
         .Spinner(kFillers, EDITTYPE_INT, 1503, 1504, 1.0f),
     ParamDef(kParticlesFilled, "#particlesFilled", TYPE_INT, kAnimReset)
         .LocalName("#particles").Default(0).Range(0, 10000000)
         .Spinner(kFillers, EDITTYPE_INT, 1506, 1505, 1.0f),
     ParamDef(kSourcesNodeList, "sourcesNodeList", TYPE_INODE_TAB, P_VARIABLE_SIZE, 35)
         .NodeListBox(kSources, 1337, 0, 0, 1016),
     ParamDef(kCollStrength, "collStrength", TYPE_FLOAT, kAnimReset)
         .LocalName("#collStrength").Default(2.0f).Range(1.0f, 2.0f)
         .Spinner(kMain, EDITTYPE_FLOAT, 1035, 1033, 0.01f),
     ParamDef(kCachesDirectoryPath, "Caches directory path", TYPE_FILENAME, P_RESET_DEFAULT, 7),
     ParamDef(kGravity, "gravity", TYPE_FLOAT, kAnimReset)
         .LocalName("#gravity").Default(9.8f).Range(0.001f, 100.0f)
         .Spinner(kMain, EDITTYPE_FLOAT, 1019, 1018, 0.1f),
     ParamDef(kSolverStart, "SolverStart", TYPE_INT, P_RESET_DEFAULT)
         .LocalName("Solver start").Default(0).Range(0, 10000).Spinner(kMain, EDITTYPE_INT, 1022, 1020, 1.0f),
     ParamDef(kSolverEnd, "SolverEnd", TYPE_INT, P_RESET_DEFAULT)
         .LocalName("Solver end").Default(100).Range(0, 20000).Spinner(kMain, EDITTYPE_INT, 1024, 1023, 1.0f),
     ParamDef(kSettleFrames, "settleframes", TYPE_INT, P_RESET_DEFAULT)
         .LocalName("Settle frames").Default(50).Range(0, 2500).Spinner(kMain, EDITTYPE_INT, 1026, 1030, 5.0f),
     ParamDef(kSettleBefore, "SettleBefore", TYPE_BOOL, P_RESET_DEFAULT)
         .LocalName("Settle before running").Default(0).CheckBox(kMain, 1095),
     ParamDef(kKeepFrames, "keepframes", TYPE_INT, P_RESET_DEFAULT)
         .LocalName("Keep frames").Default(0).Range(0, 2500).Spinner(kMain, EDITTYPE_INT, 1031, 1025, 1.0f),
     ParamDef(kViscosity, "viscosity", TYPE_FLOAT, kAnimReset)
         .LocalName("#viscosity").Default(0.0f).Range(0.0f, 250.0f)
         .Spinner(kMain, EDITTYPE_FLOAT, 1016, 1015, 0.1f),
     ParamDef(kBounce, "bounce", TYPE_FLOAT, kAnimReset)
         .LocalName("#bounce").Default(1.0f).Range(0.0f, 1.0f).Spinner(kMain, EDITTYPE_FLOAT, 1028, 1021, 0.01f),
     ParamDef(kFriction, "friction", TYPE_FLOAT, kAnimReset)
         .LocalName("#friction").Default(0.0f).Range(0.0f, 1000.0f)
         .Spinner(kMain, EDITTYPE_FLOAT, 1032, 1017, 0.1f),
     ParamDef(kPresetName, "Preset name", TYPE_FILENAME, P_RESET_DEFAULT).LocalName("#preset"),
     ParamDef(kShowClipBox, "ShowClipBox", TYPE_BOOL, 0).LocalName("ShowClipp").Default(0).CheckBox(kDisplay, 1095),
     ParamDef(kPreciseMotionBlur, "PreciseMotionBlur", TYPE_BOOL, 0)
         .LocalName("PreciseMotionBlur").Default(0).CheckBox(kSurface, 1094)});

ParamBlockDesc2 gSourceBlock(
    0, "params", 0, &gSourceDesc, P_AUTO_CONSTRUCT | P_AUTO_UI, 0, {RolloutDef{0, 189, 4, 0, nullptr}},
    {ParamDef(source_param::kRadius, "radius", TYPE_FLOAT, kAnimReset, 37)
         .Default(5.0f).Range(0.0f, 1000.0f).Spinner(0, EDITTYPE_FLOAT, 1490, 1496, 0.1f),
     ParamDef(source_param::kSpeed, "speed", TYPE_FLOAT, kAnimReset, 38)
         .Default(8.5f).Range(0.0f, 1000.0f).Spinner(0, EDITTYPE_FLOAT, 1491, 1497, 0.1f),
     ParamDef(source_param::kDisableSource, "DisableSource", TYPE_BOOL, kAnimReset)
         .LocalName("disable source").Default(0).CheckBox(0, 1040),
     ParamDef(source_param::kDrawTrajectory, "DrawTrajectory", TYPE_BOOL, kAnimReset)
         .LocalName("Draw source trajectory").Default(1).CheckBox(0, 1041),
     ParamDef(source_param::kDrawSource, "DrawSource", TYPE_BOOL, kAnimReset)
         .LocalName("Draw source").Default(1).CheckBox(0, 1042)});

// The loader gives a plug-in no entry call of its own: the library entry
// runs when the library is mapped and again when it goes.
struct LibraryEntryCalls {
  LibraryEntryCalls() { LibraryEntry(vorel::host::ModuleOf(&gModule), 1, nullptr); }
  ~LibraryEntryCalls() { LibraryEntry(vorel::host::ModuleOf(&gModule), 0, nullptr); }
};
LibraryEntryCalls gEntryCalls;

}  // namespace

ParamBlockDesc2& BlobNodeBlockDesc() { return gBlobBlock; }
BlobNodeClassDesc* GetBlobNodeDesc() { return &gBlobNodeDesc; }
VorSourceObjClassDesc* GetVorSourceObjDesc() { return &gSourceDesc; }

BOOL LibraryEntry(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)reserved;
  gModule = instance;
  // The core interface is only looked at; at unload the host may already
  // be gone, and asking then would build a new one.
  if (reason != 0) (void)GetCOREInterface();
  if (gControlsInitialised == 0) {
    gControlsInitialised = 1;
    ++gControlsInitCount;
    InitCommonControls();
  }
  return TRUE;
}

HINSTANCE ModuleHandle() { return gModule; }
int CommonControlsInitCount() { return gControlsInitCount; }

const char* StableString(int id) {
  // The host keeps one buffer per library and id, so the class name and the
  // category a host holds side by side stay what they were.
  return gModule ? vorel::host::ModuleString(gModule, id) : nullptr;
}

TimeValue GetSceneTime() { return GetCOREInterface()->GetTime(); }

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

float FloorF(float x) { return std::floor(x); }

bool ReadAppPath(std::string& out) {
  out.clear();
  ReadRegistryText(kGpuRegistryKey, "appPath", out);
  return !out.empty();
}


// ---- descriptors

Animatable* BlobNodeClassDesc::Create(bool loading) {
  auto* b = new BlobNode(loading);
  b->BuildIconMesh();
  GetCOREInterface()->RedrawViews(GetCOREInterface()->GetTime(), REDRAW_NORMAL);
  return b;
}
int BlobNodeClassDesc::BeginCreate(Interface* i) {
  BlobNode::CreationHook(i);
  return 1;
}
int BlobNodeClassDesc::EndCreate(Interface* i) {
  if (i) i->ResumeSetKeyMode();
  return TRUE;
}
const char* BlobNodeClassDesc::ClassName() { return StableString(3); }
Class_ID BlobNodeClassDesc::ClassID() { return BlobNodeClassID(); }
const char* BlobNodeClassDesc::Category() { return StableString(2); }
void* BlobNodeClassDesc::HInstance() { return gModule; }

Animatable* VorSourceObjClassDesc::Create(bool) { return new VorSourceObj(); }
const char* VorSourceObjClassDesc::ClassName() { return StableString(3); }
Class_ID VorSourceObjClassDesc::ClassID() { return VorSourceObjClassID(); }
const char* VorSourceObjClassDesc::Category() { return StableString(2); }
void* VorSourceObjClassDesc::HInstance() { return gModule; }

}  // namespace vorel_gpufe

VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 2; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) {
  switch (i) {
    case 0: return vorel_gpufe::GetBlobNodeDesc();
    case 1: return vorel_gpufe::GetVorSourceObjDesc();
    default: return nullptr;
  }
}
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return vorel_gpufe::kLibVersion; }
VOREL_PLUGIN_EXPORT const char* LibDescription() {
  // The host takes the text as is: never hand it a null.
  const char* d = vorel_gpufe::StableString(1);
  return d ? d : "";
}
VOREL_PLUGIN_EXPORT int LibInitialize() { return 1; }
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
