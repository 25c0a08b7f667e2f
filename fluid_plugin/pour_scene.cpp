// The pour scene: "New Vorel", a bowl around the emitter, then the settings
// of a visible pour.
#include "fluid_plugin/pour_scene.h"

#include "fluid_core/engine.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "fluid_plugin/vorel_classes.h"
#include "host/sdk/primitives.h"
#include "fluid_core/param_ids.h"

PourScene BuildPourScene(const std::string& cacheRoot, int frames, float radius, float rate) {
  PourScene scene;
  Interface* ip = GetCOREInterface();
  BuildVorelClasses();
  for (int i = 0; i < kVorelClassCount; ++i)
    if (ClassDesc* d = VorelClassDesc(i))
      if (!ClassDirectory::Get().FindClass(d->SuperClassID(), d->ClassID())) ClassDirectory::Get().AddClass(d);
  ip->SetAnimRange(Interval(0, TimeValue(frames - 1) * ip->GetTicksPerFrame()));
  ip->SetTime(0, false);
  TetraProcObj* system = RunNewVorel();
  if (!system || system->engine.sourceCount < 1 || !system->engine.sourceNodes[0]) return scene;
  FluidEngine& e = system->engine;
  e.SetCacheRoot(cacheRoot);
  system->CreateCacheFolders();

  scene.emitter = e.sourceNodes[0];
  const Point3 at = scene.emitter->GetObjectTM(0).GetTrans();
  scene.bowlRadius = 50.0f;
  scene.bowlCentre = Point3(at.x, at.y, at.z - 20.0f);  // the emitter sits in its upper half
  GenSphere* sphere = static_cast<GenSphere*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, sphereClassID()));
  sphere->SetParams(scene.bowlRadius, 32);
  scene.bowl = ip->CreateObjectNode(sphere, "bowl");
  Matrix3 tm;
  tm.SetTrans(scene.bowlCentre);
  scene.bowl->SetNodeTM(0, tm);
  if (ObjectParamsAccess* access = GetObjectParamsAccess()) {
    ObjectSettings s;
    s.collisionGap = 0.5f;
    access->AddObjectParams(&e, scene.bowl, s);
  }

  IParamBlock2* source = e.sourceObjects[0] ? e.sourceObjects[0]->SourceParamBlock() : nullptr;
  if (source) {
    source->SetValue(kEmitRadius, 0, radius);
    source->SetValue(kEmitEmissionRate, 0, rate);
  }
  system->pblock2->SetValue(kFluidShowMesh, 0, 1);
  system->pblock2->SetValue(kFluidCalculateSurfaceAlso, 0, 1);
  // The scene as it now stands is the one the cache belongs to.
  e.Reset();
  scene.system = system;
  return scene;
}
