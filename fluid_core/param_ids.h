// Parameter ids of the Vorel plug-in's blocks that the engine reads and the
// plug-in's objects declare: saved scenes, presets and scripts address the
// parameters by these ids (the blocks' descriptions live with their classes).
#pragma once

typedef short ParamID;
typedef short MapID;

// ---- fluid system block "params"
enum FluidParam : ParamID {
  kFluidKeepUntil = 0,
  kFluidSurfaceLod = 1,
  kFluidDropSize = 2,
  kFluidMeltingForce = 3,
  kFluidGravity = 4,
  kFluidDirectory = 5,
  kFluidTempDirPath = 6,
  kFluidShowMesh = 7,
  kFluidSubSample = 8,
  kFluidTextureGizmo = 9,
  kFluidOutOfRangeAction = 10,
  kFluidFramesToLoopFor = 11,
  kFluidOffset = 12,
  kFluidShowParticles = 13,
  kFluidCollisionGap = 14,
  kFluidObjectFriction = 15,
  kFluidObjectBounce = 16,
  kFluidObjectCollide = 17,
  kFluidShrinkWrap = 18,
  kFluidPerVertexInfo = 19,
  kFluidMaxValuePV = 20,
  kFluidMinValuePV = 21,
  kFluidCalculateSurfaceAlso = 22,
  kFluidStartFrameMesher = 23,
  kFluidStopFrameMesher = 24,
  kFluidEntireAnimationRange = 25,
  kFluidObjectAdherence = 26,
  kFluidScale = 27,
  kFluidFlickFilter = 28,
  kFluidShowClipBox = 29,
  kFluidWetmapsRadiusFactor = 30,
  kFluidWetmapsDistanceFactor = 31,
  kFluidPopulate = 32,
  kFluidFilterSamples = 33,
};
constexpr int kFluidParamCount = 34;

// The six rollout maps of the block.
enum FluidMap : MapID {
  kFluidMapAnimation = 0,
  kFluidMapDynamics = 1,
  kFluidMapSurface = 2,
  kFluidMapSourceCreation = 3,
  kFluidMapPerObject = 4,
  kFluidMapCache = 5,
};

// "outofrangeaction" values: what the system shows after the last solved frame.
enum OutOfRangeAction : int { kOutOfRangeHide = 0, kOutOfRangeKeepLast = 1, kOutOfRangeLoop = 2 };
// "prevertexInfo" values.
enum PerVertexInfo : int { kPerVertexSpeed = 0, kPerVertexPressure = 1, kPerVertexColor = 2 };

// ---- emitter ("source") block "params"
enum EmitterParam : ParamID {
  kEmitDropSize = 0,
  kEmitDisplayType = 1,
  kEmitRenderType = 2,
  kEmitFacingOrientation = 3,
  kEmitSizeOnAgePercentage = 4,
  kEmitSizeOnSolitudeRadius = 5,
  kEmitSizeOnSolitude = 6,
  kEmitMinSize = 7,
  kEmitParticlesShown = 8,
  kEmitParticlesShownInRender = 9,
  kEmitRadius = 10,
  kEmitEmissionRate = 11,
  kEmitSourceLod = 12,
  kEmitThickness = 13,
  kEmitRandomEmission = 14,
  kEmitDisableSource = 15,
  kEmitLifeTime = 16,
  kEmitStartFrame = 17,
  kEmitStopFrame = 18,
  kEmitEmissionType = 19,
  kEmitFillingPercentage = 20,
  kEmitParticlesFilled = 21,
  kEmitTrajectoryLength = 22,
  kEmitApplyMappingAtFrame = 23,
  kEmitHideSource = 24,
  kEmitHideTrajectory = 25,
  kEmitRateVariation = 26,
  kEmitInterParticleInteraction = 27,
  kEmitLodPreview = 28,
  kEmitOverrideObjParams = 29,
  kEmitSourceFriction = 30,
  kEmitSourceAdherence = 31,
  kEmitPresetName = 32,
  kEmitSourceBounce = 33,
  kEmitSourceCollisionGap = 34,
  kEmitSourceGravity = 35,
};
constexpr int kEmitterParamCount = 36;

// Rollout maps of the block (declared 0, 2, 1: look them up by id).
enum EmitterMap : MapID { kEmitMapSource = 0, kEmitMapDisplay = 1, kEmitMapPresets = 2 };

// "EmissionType" values.
enum EmissionType : int {
  kEmissionCircle = 0,
  kEmissionShape = 1,
  kEmissionObjectFill = 2,
  kEmissionPflow = 3,
};

// ---- ghost source block "params" (ids 0-9 are the emitter's display rows)
enum GhostParam : ParamID {
  kGhostDropSize = 0,
  kGhostDisplayType = 1,
  kGhostRenderType = 2,
  kGhostFacingOrientation = 3,
  kGhostSizeOnAgePercentage = 4,
  kGhostSizeOnSolitudeRadius = 5,
  kGhostSizeOnSolitude = 6,
  kGhostMinSize = 7,
  kGhostParticlesShown = 8,
  kGhostParticlesShownInRender = 9,
  kGhostExcludeFromMeshing = 10,
  kGhostRadius = 11,
  kGhostEmissionRate = 12,
  kGhostDisableSource = 13,
  kGhostStartFrame = 14,
  kGhostStopFrame = 15,
  kGhostHideSource = 16,
};
constexpr int kGhostParamCount = 17;

enum GhostMap : MapID { kGhostMapSource = 0, kGhostMapDisplay = 1 };

// ---- per-object collision attribute block "Vorel object parameters"
enum ObjectAttribParam : ParamID {
  kObjCollide = 0,
  kObjCollisionGap = 1,
  kObjBounce = 2,
  kObjFriction = 3,
  kObjTracer = 4,
  kObjMapRes = 5,
  kObjMapPrefix = 6,
  kObjDryingTime = 7,
  kObjAdherence = 8,
  kObjPartKiller = 9,
};
constexpr int kObjectAttribParamCount = 10;

