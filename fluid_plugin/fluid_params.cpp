// The fluid system's parameter table, in declaration order. Map 3 (source
// creation) holds only buttons of its dialog procedure, no parameter.
#include "fluid_plugin/fluid_params.h"

#include "fluid_plugin/fluid_desc.h"
#include "scene_objects/vorel_strings.h"

ParamBlockDesc2* FluidParamBlock() { return GetTetraProcObjDesc()->GetParamBlockDescByID(0); }

std::vector<RolloutDef> FluidRollouts() {
  return {RolloutDef{kFluidMapAnimation, 101, kStrAnimationControl, 0},
          RolloutDef{kFluidMapDynamics, 180, kStrDynamicsParams, 0},
          RolloutDef{kFluidMapSurface, 181, kStrSurfaceParams, APPENDROLL_CLOSED},
          RolloutDef{kFluidMapSourceCreation, 174, kStrSourceCreation, APPENDROLL_CLOSED},
          RolloutDef{kFluidMapPerObject, 175, kStrPerObjectParams, APPENDROLL_CLOSED},
          RolloutDef{kFluidMapCache, 173, kStrCacheRollout, 0}};
}

std::vector<ParamDef> FluidParamDefs() {
  const MapID A = kFluidMapAnimation, D = kFluidMapDynamics, S = kFluidMapSurface,
              O = kFluidMapPerObject, C = kFluidMapCache;
  return {
      ParamDef(kFluidOutOfRangeAction, "outofrangeaction", TYPE_INT, 0)
          .LocalName("Select the action to take after the last calculated frame.")
          .Default(0).Radio(A, {1040, 1041, 1042}),
      ParamDef(kFluidFramesToLoopFor, "framestoloopfor", TYPE_INT, P_ANIMATABLE)
          .LocalName("Number of last frames to loop.")
          .Default(1).Range(1, 1000).Spinner(A, EDITTYPE_INT, 1017, 1023, 1.0f),
      ParamDef(kFluidShowParticles, "ShowParticles", TYPE_BOOL, 0)
          .LocalName("Disable/enable viewport update during Vorel calculations").Default(1).CheckBox(A, 1024),
      ParamDef(kFluidCalculateSurfaceAlso, "CalculateSurfaceAlso", TYPE_BOOL, 0)
          .LocalName("Calculate surface mesh while solving dynamics.").Default(0).CheckBox(A, 1091),
      ParamDef(kFluidOffset, "offset", TYPE_INT, 0).LocalName("Animation time offset")
          .Default(0).Range(-10000, 10000).Spinner(A, EDITTYPE_INT, 1051, 1052, 1.0f),
      ParamDef(kFluidGravity, "Gravity", TYPE_FLOAT, P_ANIMATABLE).LocalName("Gravity")
          .Default(33.1f).Range(0.0f, 250.0f).Spinner(D, EDITTYPE_FLOAT, 1496, 1502, 0.1f),
      ParamDef(kFluidSubSample, "Sub-sample", TYPE_INT, P_ANIMATABLE).LocalName("Sub-samples")
          .Default(1).Range(1, 50).Spinner(D, EDITTYPE_INT, 1025, 1026, 1.0f),
      ParamDef(kFluidKeepUntil, "KeepUntil", TYPE_INT, 0).LocalName("KeepCalculationsUntilFrame")
          .Default(-1).Range(-1000, 100000).Spinner(D, EDITTYPE_INT, 1012, 1015, 1.0f),
      ParamDef(kFluidSurfaceLod, "Surface LOD", TYPE_FLOAT, P_ANIMATABLE).LocalName("Surface LOD")
          .Default(kDefaultSurfaceLod).Range(0.0f, 250.0f).Spinner(S, EDITTYPE_FLOAT, 1008, 1009, 0.1f),
      ParamDef(kFluidDropSize, "Drop Size", TYPE_FLOAT, P_ANIMATABLE).LocalName("Drops Size")
          .Default(kDefaultDropSize).Range(0.1f, 250.0f).Spinner(S, EDITTYPE_FLOAT, 1491, 1497, 0.1f),
      ParamDef(kFluidMeltingForce, "Melting Force", TYPE_FLOAT, P_ANIMATABLE).LocalName("Melting Force")
          .Default(kDefaultMeltingForce).Range(1.0f, 250.0f).Spinner(S, EDITTYPE_FLOAT, 1492, 1498, 0.1f),
      ParamDef(kFluidShrinkWrap, "Shrink Wrap", TYPE_FLOAT, P_ANIMATABLE).LocalName("Shrink wrap")
          .Default(kDefaultShrinkWrap).Range(0.0f, 1.0f).Spinner(S, EDITTYPE_FLOAT, 1494, 1500, 0.01f),
      ParamDef(kFluidShowMesh, "ShowMesh", TYPE_INT, P_ANIMATABLE).LocalName("Enable surface")
          .Default(0).CheckButton(S, 1019),
      ParamDef(kFluidPerVertexInfo, "prevertexInfo", TYPE_INT, 0)
          .LocalName("Select per-vertex info type: speed or pressure.")
          .Default(2).Radio(S, {1045, 1046, 1048}),
      ParamDef(kFluidMaxValuePV, "MaxValuePV", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Maximum value of per vertex magnitude.")
          .Default(20.0f).Range(0.0f, 1000.0f).Spinner(S, EDITTYPE_FLOAT, 1082, 1083, 0.05f),
      ParamDef(kFluidMinValuePV, "MinValuePV", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Minimum value of per vertex magnitude.")
          .Default(0.0f).Range(0.0f, 1000.0f).Spinner(S, EDITTYPE_FLOAT, 1084, 1085, 0.05f),
      ParamDef(kFluidTextureGizmo, "VorelTextureGizmo", TYPE_INT, 0).LocalName("Shows/hide Vorel texture gizmo")
          .Default(0).CheckButton(S, 1022),
      ParamDef(kFluidCollisionGap, "Collision GAP", TYPE_FLOAT, P_ANIMATABLE).LocalName("Collision GAP")
          .Default(0.1f).Range(0.0001f, 5.0f).Spinner(O, EDITTYPE_FLOAT, 1055, 1056, 0.01f),
      ParamDef(kFluidObjectFriction, "Object Friction", TYPE_FLOAT, 0).LocalName("Friction")
          .Default(1.0f).Range(0.0f, 100.0f).Spinner(O, EDITTYPE_FLOAT, 1058, 1059, 1.0f),
      ParamDef(kFluidObjectBounce, "Object bounce", TYPE_FLOAT, 0).LocalName("Object Bounce")
          .Default(50.0f).Range(0.0f, 100.0f).Spinner(O, EDITTYPE_FLOAT, 1053, 1054, 1.0f),
      ParamDef(kFluidObjectCollide, "Object Collide", TYPE_INT, 0).LocalName("Object Collide")
          .Default(1).CheckButton(O, 1057),
      ParamDef(kFluidObjectAdherence, "Object Adherence", TYPE_FLOAT, 0)
          .LocalName("Object Adherence; also called Coanda Effect. It is an object attractive force")
          .Default(0.35f).Range(0.0f, 1.0f).Spinner(O, EDITTYPE_FLOAT, 1495, 1010, 0.05f),
      ParamDef(kFluidDirectory, "Directory", TYPE_STRING, 0).LocalName("Backup directory")
          .Default("").EditBox(C, 3076),
      ParamDef(kFluidTempDirPath, "TempDirPath", TYPE_STRING, 0).LocalName("Temp Directory Path")
          .EditBox(C, 3077),
      ParamDef(kFluidStartFrameMesher, "StartFrameMesher", TYPE_INT, 0).LocalName("Surface start frame")
          .Default(0).Range(-100000, 100000).Spinner(S, EDITTYPE_INT, 1106, 1108, 1.0f),
      ParamDef(kFluidStopFrameMesher, "StopFrameMesher", TYPE_INT, 0).LocalName("Surface stop frame")
          .Default(100).Range(-100000, 100000).Spinner(S, EDITTYPE_INT, 1107, 1010, 1.0f),
      ParamDef(kFluidEntireAnimationRange, "EntireAnimationRange", TYPE_BOOL, 0)
          .LocalName("Create Mesh surface for all the frames in the animation playback range")
          .Default(1).CheckBox(S, 1109),
      ParamDef(kFluidScale, "Scale", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Scale Vorel system to better adapt to scene size.")
          .Default(1.0f).Range(0.001f, 1000.0f).Spinner(D, EDITTYPE_FLOAT, 1027, 1028, 0.1f),
      ParamDef(kFluidFlickFilter, "FlickFilter", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Flickering filter radius (in particle's size units)")
          .Default(0.3f).Range(0.0f, 40.0f).Spinner(D, EDITTYPE_FLOAT, 1029, 1030, 0.1f),
      ParamDef(kFluidShowClipBox, "ShowClipBox", TYPE_BOOL, 0).LocalName("Hide/Shows particle clip box")
          .Default(0).CheckBox(A, 1029),
      ParamDef(kFluidWetmapsRadiusFactor, "WetmapsRadiusFactor", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Wetmaps radius factor")
          .Default(1.0f).Range(0.0f, 1000.0f).Spinner(S, EDITTYPE_FLOAT, 1086, 1087, 0.01f),
      ParamDef(kFluidWetmapsDistanceFactor, "WetmapsDistanceFactor", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Wetmaps distance factor")
          .Default(1.0f).Range(0.0f, 1000.0f).Spinner(S, EDITTYPE_FLOAT, 1088, 1089, 0.01f),
      ParamDef(kFluidPopulate, "populate", TYPE_INT, P_ANIMATABLE).LocalName("Particle multiplier value")
          .Default(0).Range(0, 10),
      ParamDef(kFluidFilterSamples, "FilterSamples", TYPE_INT, 0).LocalName("Filter samples")
          .Default(3).Range(1, 125).Spinner(D, EDITTYPE_INT, 1031, 1032, 1.0f),
  };
}
