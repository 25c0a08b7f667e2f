// Every parameter block of the plug-in, row by row against the published
// tables (id, internal name, type, flags, default, range, control, display
// name, declaration order), and how new blocks behave at their edges.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/fluid_params.h"
#include "scene_objects/attractor_desc.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"
#include "scene_objects/force_params.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/ghost_params.h"
#include "scene_objects/object_attrib_params.h"
#include "scene_objects/path_follow_desc.h"
#include "scene_objects/simple_cust_attrib.h"

namespace {

// One published row. Numbers are kept as text, as printed ("-" = none).
struct Row {
  int id;
  const char* name;
  ParamType2 type;
  int flags;
  const char* def;         // "none": no default; a quoted text for strings
  const char* scriptDef;   // null: none
  const char* lo;
  const char* hi;
  int map;
  ControlType2 ctrl;
  int editType;
  std::vector<int> ids;
  float step;
  bool autoStep;
  const char* display;     // "": none given
};

const Row kFluidRows[] = {
    {10, "outofrangeaction", TYPE_INT, 0, "0", nullptr, "-", "-", 0, TYPE_RADIO, 0, {1040, 1041, 1042}, 0.0f, false, "Select the action to take after the last calculated frame."},
    {11, "framestoloopfor", TYPE_INT, P_ANIMATABLE, "1", nullptr, "1", "1000", 0, TYPE_SPINNER, EDITTYPE_INT, {1017, 1023}, 1.0f, false, "Number of last frames to loop."},
    {13, "ShowParticles", TYPE_BOOL, 0, "1", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1024}, 0.0f, false, "Disable/enable viewport update during Vorel calculations"},
    {22, "CalculateSurfaceAlso", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1091}, 0.0f, false, "Calculate surface mesh while solving dynamics."},
    {12, "offset", TYPE_INT, 0, "0", nullptr, "-10000", "10000", 0, TYPE_SPINNER, EDITTYPE_INT, {1051, 1052}, 1.0f, false, "Animation time offset"},
    {4, "Gravity", TYPE_FLOAT, P_ANIMATABLE, "33.1", nullptr, "0", "250", 1, TYPE_SPINNER, EDITTYPE_FLOAT, {1496, 1502}, 0.1f, false, "Gravity"},
    {8, "Sub-sample", TYPE_INT, P_ANIMATABLE, "1", nullptr, "1", "50", 1, TYPE_SPINNER, EDITTYPE_INT, {1025, 1026}, 1.0f, false, "Sub-samples"},
    {0, "KeepUntil", TYPE_INT, 0, "-1", nullptr, "-1000", "100000", 1, TYPE_SPINNER, EDITTYPE_INT, {1012, 1015}, 1.0f, false, "KeepCalculationsUntilFrame"},
    {1, "Surface LOD", TYPE_FLOAT, P_ANIMATABLE, "8", nullptr, "0", "250", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1008, 1009}, 0.1f, false, "Surface LOD"},
    {2, "Drop Size", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.1", "250", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1491, 1497}, 0.1f, false, "Drops Size"},
    {3, "Melting Force", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "1", "250", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1492, 1498}, 0.1f, false, "Melting Force"},
    {18, "Shrink Wrap", TYPE_FLOAT, P_ANIMATABLE, "0.66", nullptr, "0", "1", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1494, 1500}, 0.01f, false, "Shrink wrap"},
    {7, "ShowMesh", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 2, TYPE_CHECKBUTTON, 0, {1019}, 0.0f, false, "Enable surface"},
    {19, "prevertexInfo", TYPE_INT, 0, "2", nullptr, "-", "-", 2, TYPE_RADIO, 0, {1045, 1046, 1048}, 0.0f, false, "Select per-vertex info type: speed or pressure."},
    {20, "MaxValuePV", TYPE_FLOAT, P_ANIMATABLE, "20", nullptr, "0", "1000", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1082, 1083}, 0.05f, false, "Maximum value of per vertex magnitude."},
    {21, "MinValuePV", TYPE_FLOAT, P_ANIMATABLE, "0", nullptr, "0", "1000", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1084, 1085}, 0.05f, false, "Minimum value of per vertex magnitude."},
    {9, "VorelTextureGizmo", TYPE_INT, 0, "0", nullptr, "-", "-", 2, TYPE_CHECKBUTTON, 0, {1022}, 0.0f, false, "Shows/hide Vorel texture gizmo"},
    {14, "Collision GAP", TYPE_FLOAT, P_ANIMATABLE, "0.1", nullptr, "0.0001", "5", 4, TYPE_SPINNER, EDITTYPE_FLOAT, {1055, 1056}, 0.01f, false, "Collision GAP"},
    {15, "Object Friction", TYPE_FLOAT, 0, "1", nullptr, "0", "100", 4, TYPE_SPINNER, EDITTYPE_FLOAT, {1058, 1059}, 1.0f, false, "Friction"},
    {16, "Object bounce", TYPE_FLOAT, 0, "50", nullptr, "0", "100", 4, TYPE_SPINNER, EDITTYPE_FLOAT, {1053, 1054}, 1.0f, false, "Object Bounce"},
    {17, "Object Collide", TYPE_INT, 0, "1", nullptr, "-", "-", 4, TYPE_CHECKBUTTON, 0, {1057}, 0.0f, false, "Object Collide"},
    {26, "Object Adherence", TYPE_FLOAT, 0, "0.35", nullptr, "0", "1", 4, TYPE_SPINNER, EDITTYPE_FLOAT, {1495, 1010}, 0.05f, false, "Object Adherence; also called Coanda Effect. It is an object attractive force"},
    {5, "Directory", TYPE_STRING, 0, "\"\"", nullptr, "-", "-", 5, TYPE_EDITBOX, 0, {3076}, 0.0f, false, "Backup directory"},
    {6, "TempDirPath", TYPE_STRING, 0, "none", nullptr, "-", "-", 5, TYPE_EDITBOX, 0, {3077}, 0.0f, false, "Temp Directory Path"},
    {23, "StartFrameMesher", TYPE_INT, 0, "0", nullptr, "-100000", "100000", 2, TYPE_SPINNER, EDITTYPE_INT, {1106, 1108}, 1.0f, false, ""},
    {24, "StopFrameMesher", TYPE_INT, 0, "100", nullptr, "-100000", "100000", 2, TYPE_SPINNER, EDITTYPE_INT, {1107, 1010}, 1.0f, false, ""},
    {25, "EntireAnimationRange", TYPE_BOOL, 0, "1", nullptr, "-", "-", 2, TYPE_SINGLECHEKBOX, 0, {1109}, 0.0f, false, "Create Mesh surface for all the frames in the animation playback range"},
    {27, "Scale", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0.001", "1000", 1, TYPE_SPINNER, EDITTYPE_FLOAT, {1027, 1028}, 0.1f, false, "Scale Vorel system to better adapt to scene size."},
    {28, "FlickFilter", TYPE_FLOAT, P_ANIMATABLE, "0.3", nullptr, "0", "40", 1, TYPE_SPINNER, EDITTYPE_FLOAT, {1029, 1030}, 0.1f, false, "Flickering filter radius (in particle's size units)"},
    {29, "ShowClipBox", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1029}, 0.0f, false, "Hide/Shows particle clip box"},
    {30, "WetmapsRadiusFactor", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0", "1000", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1086, 1087}, 0.01f, false, "Wetmaps radius factor"},
    {31, "WetmapsDistanceFactor", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0", "1000", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1088, 1089}, 0.01f, false, "Wetmaps distance factor"},
    {32, "populate", TYPE_INT, P_ANIMATABLE, "0", nullptr, "0", "10", 0, TYPE_NONE_CTRL, 0, {}, 0.0f, false, "Particle multiplier value"},
    {33, "FilterSamples", TYPE_INT, 0, "3", nullptr, "1", "125", 1, TYPE_SPINNER, EDITTYPE_INT, {1031, 1032}, 1.0f, false, "Filter samples"},
};
const Row kEmitterRows[] = {
    {10, "Radius", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.0001", "100000000", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1000, 1005}, 0.1f, false, "Radius"},
    {11, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE, "6", nullptr, "0.0001", "100000000", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1001, 1006}, 0.1f, false, "EmissionRate"},
    {12, "Source LOD", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.001", "128", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1011, 1010}, 0.1f, false, "LOD-particle density"},
    {13, "Thickness", TYPE_FLOAT, P_ANIMATABLE, "5", nullptr, "0.001", "512", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1493, 1012}, 0.1f, false, "Thickness"},
    {14, "RandomEmission", TYPE_BOOL, P_ANIMATABLE, "1", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1013}, 0.0f, false, "Random Emission"},
    {15, "DisableSource", TYPE_BOOL, P_ANIMATABLE, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1014}, 0.0f, false, "Disable source"},
    {16, "lifeTime", TYPE_INT, P_ANIMATABLE, "9999", nullptr, "0", "10000", 0, TYPE_SPINNER, EDITTYPE_INT, {3042, 3043}, 1.0f, false, "Life Time"},
    {17, "startFrame", TYPE_INT, P_ANIMATABLE, "-100", nullptr, "-1000", "100000", 0, TYPE_SPINNER, EDITTYPE_INT, {1002, 1007}, 1.0f, false, "Start Time"},
    {18, "stopFrame", TYPE_INT, P_ANIMATABLE, "45", nullptr, "-1000", "100000", 0, TYPE_SPINNER, EDITTYPE_INT, {1003, 1008}, 1.0f, false, "Stop emission time"},
    {19, "EmissionType", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 0, TYPE_RADIO, 0, {1021, 1022, 1024, 1026}, 0.0f, false, "EmissionType"},
    {20, "fillingPercentage", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "4000", 0, TYPE_SPINNER, EDITTYPE_INT, {1503, 1504}, 1.0f, false, "Filling %"},
    {21, "#particlesFilled", TYPE_INT, P_ANIMATABLE, "100000", nullptr, "0", "1000000", 0, TYPE_SPINNER, EDITTYPE_INT, {1506, 1507}, 1.0f, false, "# particles in filled object"},
    {22, "trajectoryLength", TYPE_INT, P_ANIMATABLE, "30", nullptr, "0", "500", 0, TYPE_SPINNER, EDITTYPE_INT, {1508, 1509}, 1.0f, false, "Length"},
    {23, "applyMappingAtFrame", TYPE_INT, P_ANIMATABLE, "30", nullptr, "0", "500", 0, TYPE_SPINNER, EDITTYPE_INT, {1004, 1009}, 1.0f, false, "Frame to apply mapping coords."},
    {24, "HideSource", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1019}, 0.0f, false, "Hide source"},
    {25, "HideTrajectory", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1128}, 0.0f, false, "Hide trajectory"},
    {0, "DropSize", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0", "10000000000", 1, TYPE_SPINNER, EDITTYPE_UNIVERSE, {3038, 3039}, 0.1f, false, "Drop Size"},
    {1, "DisplayType", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3052, 1023, 1024, 1025}, 0.0f, false, "Viewport Particles"},
    {2, "RenderType", TYPE_INT, P_ANIMATABLE, "2", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3071, 3072, 3073, 3074}, 0.0f, false, "Particle Type in Render View"},
    {3, "FacingOrientation", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3077, 3078, 3079}, 0.0f, false, "Facing orientation"},
    {4, "SizeOnAgePercentage", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3046, 3047}, 1.0f, false, "% Life to collapse"},
    {5, "SizeOnSolitudeRadius", TYPE_INT, P_ANIMATABLE, "50", nullptr, "0", "50", 1, TYPE_SPINNER, EDITTYPE_INT, {3040, 3041}, 1.0f, false, "Minimum Neighbors to collapse"},
    {6, "SizeOnSolitude", TYPE_BOOL, P_ANIMATABLE, "1", nullptr, "-", "-", 1, TYPE_SINGLECHEKBOX, 0, {1028}, 0.0f, false, "Particle size depends on the number of neighbours"},
    {7, "MinSize", TYPE_FLOAT, P_ANIMATABLE, "0", nullptr, "0", "10000000000", 1, TYPE_SPINNER, EDITTYPE_UNIVERSE, {3048, 3049}, 0.01f, false, "Minimum Particle Size"},
    {8, "ParticlesShown", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3044, 3045}, 1.0f, false, "% particles in viewport"},
    {9, "ParticlesShownInRender", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3050, 3051}, 1.0f, false, "% particles in render view"},
    {26, "rateVariation", TYPE_INT, P_ANIMATABLE, "0", nullptr, "0", "1500", 0, TYPE_SPINNER, EDITTYPE_INT, {1023, 1016}, 1.0f, false, "rate variation"},
    {27, "inter-particleInteraction", TYPE_BOOL, P_ANIMATABLE, "1", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1028}, 0.0f, false, "enables inter-particle interaction for this source"},
    {28, "lodPreview", TYPE_BOOL, P_ANIMATABLE, "1", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1030}, 0.0f, false, "First frame lod preview"},
    {29, "overrideObjParams", TYPE_BOOL, 0, "0", nullptr, "-", "-", 2, TYPE_SINGLECHEKBOX, 0, {1031}, 0.0f, false, "Override object parameters"},
    {30, "Source_Friction", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0", "100", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1132, 1032}, 0.1f, false, "Source friction"},
    {31, "Source_adherence LOD", TYPE_FLOAT, P_ANIMATABLE, "0.0", nullptr, "0.001", "1", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1133, 1033}, 0.05f, false, "Source adherence"},
    {32, "PresetName", TYPE_STRING, 0, "\"Nothing\"", nullptr, "-", "-", 2, TYPE_EDITBOX, 0, {1136}, 0.0f, false, "preset name"},
    {33, "Source_Bounce", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0", "100", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1135, 1034}, 0.1f, false, "Source bounce"},
    {34, "Source_collision_gap", TYPE_FLOAT, P_ANIMATABLE, "0.05", nullptr, "0.0001", "5", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1137, 1035}, 0.05f, false, "Source collision GAP"},
    {35, "Source_gravity", TYPE_FLOAT, P_ANIMATABLE, "34", nullptr, "0", "250", 2, TYPE_SPINNER, EDITTYPE_FLOAT, {1138, 1036}, 0.1f, false, "Source gravity"},
};
const Row kGhostRows[] = {
    {11, "Radius", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.0001", "100000000", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1000, 1005}, 0.1f, false, "Radius"},
    {12, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.0001", "100000000", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1001, 1006}, 0.1f, false, "EmissionRate"},
    {13, "DisableSource", TYPE_BOOL, P_ANIMATABLE, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1014}, 0.0f, false, "Disable source"},
    {14, "startFrame", TYPE_INT, P_ANIMATABLE, "-100", nullptr, "-1000", "100000", 0, TYPE_SPINNER, EDITTYPE_INT, {1002, 1007}, 1.0f, false, "Start Time"},
    {15, "stopFrame", TYPE_INT, P_ANIMATABLE, "10000", nullptr, "-1000", "100000", 0, TYPE_SPINNER, EDITTYPE_INT, {1003, 1008}, 1.0f, false, "Stop emission time"},
    {16, "HideSource", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1019}, 0.0f, false, "Hide source"},
    {10, "ExcludeFromMeshing", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1029}, 0.0f, false, "Avoid meshing"},
    {0, "DropSize", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0", "10000000000", 1, TYPE_SPINNER, EDITTYPE_UNIVERSE, {3038, 3039}, 0.1f, false, "Drop Size"},
    {1, "DisplayType", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3052, 1023, 1024, 1025}, 0.0f, false, "Viewport Particles"},
    {2, "RenderType", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3071, 3072, 3073, 3074}, 0.0f, false, "Particle Type in Render View"},
    {3, "FacingOrientation", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 1, TYPE_RADIO, 0, {3077, 3078, 3079}, 0.0f, false, "Facing orientation"},
    {4, "SizeOnAgePercentage", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3046, 3047}, 1.0f, false, "% Life to collapse"},
    {5, "SizeOnSolitudeRadius", TYPE_INT, P_ANIMATABLE, "50", nullptr, "0", "50", 1, TYPE_SPINNER, EDITTYPE_INT, {3040, 3041}, 1.0f, false, "Minimum Neighbors to collapse"},
    {6, "SizeOnSolitude", TYPE_BOOL, P_ANIMATABLE, "1", nullptr, "-", "-", 1, TYPE_SINGLECHEKBOX, 0, {1028}, 0.0f, false, "Particle size depends on the number of neighbours"},
    {7, "MinSize", TYPE_FLOAT, P_ANIMATABLE, "0", nullptr, "0", "10000000000", 1, TYPE_SPINNER, EDITTYPE_UNIVERSE, {3048, 3049}, 0.01f, false, "Minimum Particle Size"},
    {8, "ParticlesShown", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3044, 3045}, 1.0f, false, "% particles in viewport"},
    {9, "ParticlesShownInRender", TYPE_INT, P_ANIMATABLE, "100", nullptr, "0", "100", 1, TYPE_SPINNER, EDITTYPE_INT, {3050, 3051}, 1.0f, false, "% particles in render view"},
};
const Row kObjectRows[] = {
    {0, "collide", TYPE_INT, P_ANIMATABLE, "0", nullptr, "-", "-", 0, TYPE_CHECKBUTTON, 0, {1004}, 0.0f, false, "Collide"},
    {1, "collisionGap", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0.0001", "5", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1490, 1003}, 0.05f, false, "CollisionGAP"},
    {2, "bounce", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0", "100", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1491, 1005}, 0.05f, false, "Bounce"},
    {3, "friction", TYPE_FLOAT, P_ANIMATABLE, "4", nullptr, "0", "100", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1492, 1006}, 0.05f, false, "Friction"},
    {4, "tracer", TYPE_INT, P_ANIMATABLE, "1", nullptr, "-", "-", 0, TYPE_CHECKBUTTON, 0, {1007}, 0.0f, false, "Wetmap"},
    {5, "MapRes", TYPE_INT, P_ANIMATABLE, "256", nullptr, "32", "2048", 0, TYPE_SPINNER, EDITTYPE_INT, {1493, 1008}, 32.0f, false, "Pixel length dimension for the tracel map ( default 256)"},
    {6, "MapPrefix", TYPE_STRING, P_ANIMATABLE, "none", nullptr, "-", "-", 0, TYPE_EDITBOX, 0, {1081}, 0.0f, false, "Prefix for the wetmap file sequence."},
    {7, "drying_time", TYPE_FLOAT, P_ANIMATABLE, "1", nullptr, "0", "1000", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1494, 1009}, 0.05f, false, "Drying time in seconds. Raster will disappear in that time unless it is refreshed."},
    {8, "adherence", TYPE_FLOAT, P_ANIMATABLE, "0.65", nullptr, "0", "1", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1495, 1010}, 0.05f, false, "Object Adherence; also called Coanda Effect. It is an object attractive force"},
    {9, "partKiller", TYPE_INT, P_ANIMATABLE, "1", nullptr, "-", "-", 0, TYPE_CHECKBUTTON, 0, {1129}, 0.0f, false, "Particle Killer"},
};
const Row kAttractorRows[] = {
    {0, "strength", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "1", "1", "-9999999", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1163, 1164}, 0.0f, true, "Strength"},
    {1, "decay", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_NONE_CTRL, 0, {}, 0.0f, false, "Decay"},
    {2, "windtype", TYPE_RADIOBTN_INDEX, 0, "0", nullptr, "0", "1", 0, TYPE_NONE_CTRL, 0, {}, 0.0f, false, "VorelpathFollow Type"},
    {4, "turbulence", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1170, 1169}, 0.0f, true, "Turbulence"},
    {5, "frequency", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {2172, 2171}, 0.0f, true, "Frequency"},
    {6, "scale", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "1", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {2174, 2173}, 0.0f, true, "Scale"},
    {3, "iconsize", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "10", "10", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1161, 1162}, 0.0f, true, "Icon Size"},
    {7, "hoopson", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1734}, 0.0f, false, "Hoops On"},
    {10, "ordered", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1126}, 0.0f, false, "Attract particles in an ordered way"},
    {8, "reverse", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1735}, 0.0f, false, "Particles will follow selected path in reverse direction."},
    {9, "sampleDensity", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "6", "6", "0.3", "100", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1165, 1166}, 0.0f, true, "Tangencial strength"},
    {11, "AttractionType", TYPE_INT, 0, "0", nullptr, "-", "-", 0, TYPE_RADIO, 0, {1127, 1129}, 0.0f, false, "AttractionType"},
};
const Row kPathRows[] = {
    {0, "strength", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "1", "1", "-9999999", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1163, 1164}, 0.0f, true, "Strength"},
    {1, "decay", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_NONE_CTRL, 0, {}, 0.0f, false, "Decay"},
    {2, "windtype", TYPE_RADIOBTN_INDEX, 0, "0", nullptr, "0", "1", 0, TYPE_NONE_CTRL, 0, {}, 0.0f, false, "VorelpathFollow Type"},
    {4, "turbulence", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1170, 1169}, 0.0f, true, "Turbulence"},
    {5, "frequency", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "0", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {2172, 2171}, 0.0f, true, "Frequency"},
    {6, "scale", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "1", "1", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {2174, 2173}, 0.0f, true, "Scale"},
    {3, "iconsize", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "10", "10", "0", "9999999", 0, TYPE_SPINNER, EDITTYPE_UNIVERSE, {1161, 1162}, 0.0f, true, "Icon Size"},
    {7, "hoopson", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1734}, 0.0f, false, "Hoops On"},
    {8, "reverse", TYPE_BOOL, 0, "0", nullptr, "-", "-", 0, TYPE_SINGLECHEKBOX, 0, {1735}, 0.0f, false, "Particles will follow selected path in reverse direction."},
    {9, "strength2", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT, "1", "1", "-9999999", "9999999", 0, TYPE_SPINNER, EDITTYPE_FLOAT, {1165, 1166}, 0.0f, true, "Tangencial strength"},
};

void ExpectNumber(const char* text, const ParamDef& d, bool isFloat, const PB2Value& v, const char* what) {
  if (isFloat) {
    EXPECT_FLOAT_EQ(v.f, std::strtof(text, nullptr)) << d.int_name << " " << what;
  } else {
    EXPECT_EQ(v.i, std::atoi(text)) << d.int_name << " " << what;
  }
}

void ExpectBlock(ParamBlockDesc2* pbd, const Row* rows, size_t count) {
  ASSERT_NE(pbd, nullptr);
  ASSERT_EQ(size_t(pbd->Count()), count);
  EXPECT_EQ(pbd->ID, 0);
  EXPECT_EQ(pbd->ref_no, 0);
  EXPECT_EQ(pbd->local_name_id, 0);
  EXPECT_TRUE(pbd->flags & P_AUTO_CONSTRUCT);
  EXPECT_TRUE(pbd->flags & P_AUTO_UI);
  for (size_t i = 0; i < count; ++i) {
    const Row& r = rows[i];
    const ParamDef& d = pbd->Params()[i];  // declaration order
    SCOPED_TRACE(r.name);
    EXPECT_EQ(d.id, r.id);
    EXPECT_EQ(d.int_name, r.name);
    EXPECT_EQ(d.type, r.type);
    EXPECT_EQ(d.flags, r.flags);
    const bool isFloat = r.type == TYPE_FLOAT;
    if (r.type == TYPE_STRING) {
      if (std::string(r.def) == "none") {
        EXPECT_FALSE(d.def.has_string);
      } else {
        std::string quoted = r.def;
        EXPECT_TRUE(d.def.has_string);
        EXPECT_EQ("\"" + d.def.s + "\"", quoted);
      }
    } else {
      ExpectNumber(r.def, d, isFloat, d.def, "default");
    }
    EXPECT_EQ(d.has_script_default, r.scriptDef != nullptr);
    if (r.scriptDef) ExpectNumber(r.scriptDef, d, isFloat, d.script_def, "script default");
    EXPECT_EQ(d.has_range, std::string(r.lo) != "-");
    if (d.has_range) {
      if (isFloat) {
        EXPECT_FLOAT_EQ(d.range_lo_f, std::strtof(r.lo, nullptr));
        EXPECT_FLOAT_EQ(d.range_hi_f, std::strtof(r.hi, nullptr));
      } else {
        EXPECT_EQ(d.range_lo_i, std::atoi(r.lo));
        EXPECT_EQ(d.range_hi_i, std::atoi(r.hi));
      }
    }
    EXPECT_EQ(d.ctrl_type, r.ctrl);
    EXPECT_EQ(d.ctrl_ids, r.ids);
    if (r.ctrl != TYPE_NONE_CTRL) {
      EXPECT_EQ(d.map_id, r.map);
      ASSERT_NE(pbd->FindRollout(d.map_id), nullptr);
    }
    if (r.ctrl == TYPE_SPINNER) {
      EXPECT_EQ(d.edit_type, r.editType);
      EXPECT_EQ(d.spin_auto, r.autoStep);
      if (!r.autoStep) {
        EXPECT_FLOAT_EQ(d.spin_step, r.step);
      }
    }
    if (*r.display) {
      EXPECT_EQ(d.local_name, r.display);
    } else {
      EXPECT_FALSE(d.local_name.empty());
    }
  }
}

struct Rollout {
  int map, dialog, title;
  bool closed;
};

void ExpectRollouts(ParamBlockDesc2* pbd, const std::vector<Rollout>& want) {
  ASSERT_EQ(pbd->Rollouts().size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    const RolloutDef& r = pbd->Rollouts()[i];
    EXPECT_EQ(r.map_id, want[i].map) << i;
    EXPECT_EQ(r.dialog_id, want[i].dialog) << i;
    EXPECT_EQ(r.title_id, want[i].title) << i;
    EXPECT_EQ((r.flags & APPENDROLL_CLOSED) != 0, want[i].closed) << i;
  }
}

template <size_t N>
constexpr size_t Count(const Row (&)[N]) { return N; }

TEST(ParamBlocks, EveryBlockMatchesItsTableRowByRow) {
  {
    SCOPED_TRACE("fluid system");
    ExpectBlock(FluidParamBlock(), kFluidRows, Count(kFluidRows));
    EXPECT_EQ(FluidParamBlock()->int_name, "params");
    EXPECT_EQ(FluidParamBlock()->cd, GetTetraProcObjDesc());
    ExpectRollouts(FluidParamBlock(), {{0, 101, 36, false}, {1, 180, 38, false}, {2, 181, 42, true},
                                       {3, 174, 41, true}, {4, 175, 40, true}, {5, 173, 37, false}});
  }
  {
    SCOPED_TRACE("emitter");
    ExpectBlock(EmitterParamBlock(), kEmitterRows, Count(kEmitterRows));
    EXPECT_EQ(EmitterParamBlock()->int_name, "params");
    EXPECT_EQ(EmitterParamBlock()->cd, GetRainDesc());
    // Declared 0, 2, 1: the ids stay with their dialogs.
    ExpectRollouts(EmitterParamBlock(), {{0, 220, 40552, false}, {2, 223, 30011, true}, {1, 169, 40551, true}});
  }
  {
    SCOPED_TRACE("ghost source");
    ExpectBlock(GhostParamBlock(), kGhostRows, Count(kGhostRows));
    EXPECT_EQ(GhostParamBlock()->cd, GetRainGhostDesc());
    ExpectRollouts(GhostParamBlock(), {{0, 222, 40567, false}, {1, 169, 40551, false}});
  }
  {
    SCOPED_TRACE("per-object attribute");
    ExpectBlock(ObjectAttribParamBlock(), kObjectRows, Count(kObjectRows));
    EXPECT_EQ(ObjectAttribParamBlock()->int_name, "Vorel object parameters");
    EXPECT_EQ(ObjectAttribParamBlock()->cd, GetSimpleAttribDesc());
    ExpectRollouts(ObjectAttribParamBlock(), {{0, 178, 27, false}});
  }
  {
    SCOPED_TRACE("object attractor");
    ExpectBlock(AttractorParamBlock(), kAttractorRows, Count(kAttractorRows));
    EXPECT_EQ(AttractorParamBlock()->int_name, "ObjAttractorParameters");
    EXPECT_EQ(AttractorParamBlock()->cd, GetObjAttractorDesc());
    ExpectRollouts(AttractorParamBlock(), {{0, 218, 30028, false}});
  }
  {
    SCOPED_TRACE("path-follow force");
    ExpectBlock(PathFollowParamBlock(), kPathRows, Count(kPathRows));
    EXPECT_EQ(PathFollowParamBlock()->int_name, "WindParameters");
    EXPECT_EQ(PathFollowParamBlock()->cd, GetWindDesc());
    ExpectRollouts(PathFollowParamBlock(), {{0, 138, 30028, false}});
  }
}

TEST(ParamBlocks, IdsAreDenseAndUnique) {
  for (ParamBlockDesc2* pbd : {FluidParamBlock(), EmitterParamBlock(), GhostParamBlock(),
                               ObjectAttribParamBlock(), AttractorParamBlock(), PathFollowParamBlock()}) {
    std::vector<int> seen(size_t(pbd->Count()), 0);
    for (const ParamDef& d : pbd->Params()) {
      ASSERT_GE(d.id, 0);
      ASSERT_LT(d.id, pbd->Count());
      ++seen[size_t(d.id)];
    }
    for (int n : seen) EXPECT_EQ(n, 1);
  }
}

// A block as an object of the class gets it.
class NewBlock : public ::testing::Test {
 protected:
  IParamBlock2* Make(ParamBlockDesc2* pbd) {
    blocks_.push_back(CreateParameterBlock2(pbd, nullptr));
    return blocks_.back();
  }
  void TearDown() override {
    for (IParamBlock2* pb : blocks_) pb->DeleteThis();
  }
  std::vector<IParamBlock2*> blocks_;
};

TEST_F(NewBlock, StartsFromTheDeclaredDefaultsEvenBelowTheRange) {
  IParamBlock2* fluid = Make(FluidParamBlock());
  EXPECT_EQ(fluid->GetInt(kFluidKeepUntil), -1);
  EXPECT_EQ(fluid->GetInt(kFluidFramesToLoopFor), 1);
  EXPECT_EQ(fluid->GetInt(kFluidShowMesh), 0);
  EXPECT_EQ(fluid->GetInt(kFluidPerVertexInfo), 2);
  EXPECT_STREQ(fluid->GetStr(kFluidDirectory), "");
  EXPECT_EQ(fluid->GetStr(kFluidTempDirPath), nullptr);
  IParamBlock2* emitter = Make(EmitterParamBlock());
  EXPECT_EQ(emitter->GetInt(kEmitStartFrame), -100);
  EXPECT_EQ(emitter->GetInt(kEmitStopFrame), 45);
  EXPECT_EQ(emitter->GetInt(kEmitLifeTime), 9999);
  EXPECT_STREQ(emitter->GetStr(kEmitPresetName), "Nothing");
  // No default of its own: 0.0 although the range starts at 0.001.
  EXPECT_EQ(emitter->GetFloat(kEmitSourceAdherence), 0.0f);
  EXPECT_EQ(emitter->GetInt(kEmitRenderType), 2);
  IParamBlock2* ghost = Make(GhostParamBlock());
  EXPECT_EQ(ghost->GetInt(kGhostStopFrame), 10000);
  EXPECT_EQ(ghost->GetInt(kGhostRenderType), 0);
}

TEST_F(NewBlock, RangesClampWhatIsSet) {
  IParamBlock2* fluid = Make(FluidParamBlock());
  fluid->SetValue(kFluidSubSample, 0, 0);
  EXPECT_EQ(fluid->GetInt(kFluidSubSample), 1);
  fluid->SetValue(kFluidOffset, 0, -10001);
  EXPECT_EQ(fluid->GetInt(kFluidOffset), -10000);
  fluid->SetValue(kFluidOffset, 0, 10000);
  EXPECT_EQ(fluid->GetInt(kFluidOffset), 10000);
  fluid->SetValue(kFluidOutOfRangeAction, 0, kOutOfRangeLoop);
  EXPECT_EQ(fluid->GetInt(kFluidOutOfRangeAction), 2);
  // The third button of the group stands for that value.
  EXPECT_EQ(FluidParamBlock()->GetParamDef(kFluidOutOfRangeAction).ctrl_ids[2], 1042);
  IParamBlock2* emitter = Make(EmitterParamBlock());
  emitter->SetValue(kEmitSourceAdherence, 0, 0.0f);
  EXPECT_FLOAT_EQ(emitter->GetFloat(kEmitSourceAdherence), 0.001f);
  IParamBlock2* attr = Make(ObjectAttribParamBlock());
  attr->SetValue(kObjMapRes, 0, 16);
  EXPECT_EQ(attr->GetInt(kObjMapRes), 32);
  IParamBlock2* wind = Make(PathFollowParamBlock());
  wind->SetValue(kForceWindType, 0, 5);
  EXPECT_EQ(wind->GetInt(kForceWindType), 1);
}

}  // namespace
