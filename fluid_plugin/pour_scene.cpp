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

PourScene BuildPourScene(const std::string& cacheRoot, int frames, const PourSettings& settings) {
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
  Matrix3 tm;
  if (settings.boxBowl) {
    const float side = 2.0f * scene.bowlRadius;
    GenBoxObject* box = static_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    box->SetParams(side, side, side);
    scene.bowl = ip->CreateObjectNode(box, "bowl");
    tm.SetTrans(scene.bowlCentre - Point3(0.0f, 0.0f, scene.bowlRadius));  // a box stands on its base
  } else {
    GenSphere* sphere = static_cast<GenSphere*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, sphereClassID()));
    sphere->SetParams(scene.bowlRadius, 32);
    scene.bowl = ip->CreateObjectNode(sphere, "bowl");
    tm.SetTrans(scene.bowlCentre);
  }
  scene.bowl->SetNodeTM(0, tm);
  if (ObjectParamsAccess* access = GetObjectParamsAccess()) {
    ObjectSettings s;
    s.collisionGap = 0.5f;
    access->AddObjectParams(&e, scene.bowl, s);
  }

  IParamBlock2* source = e.sourceObjects[0] ? e.sourceObjects[0]->SourceParamBlock() : nullptr;
  if (source) {
    source->SetValue(kEmitRadius, 0, settings.radius);
    source->SetValue(kEmitEmissionRate, 0, settings.rate);
    source->SetValue(kEmitSourceLod, 0, settings.lod);
  }
  if (settings.fillSide > 0.0f && source) {
    const float side = settings.fillSide;
    GenBoxObject* box = static_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    box->SetParams(side, side, side);
    scene.fillBox = ip->CreateObjectNode(box, "fill");
    Matrix3 at;
    at.SetTrans(Point3(scene.bowlCentre.x, scene.bowlCentre.y, scene.bowlCentre.z - 0.5f * side));
    scene.fillBox->SetNodeTM(0, at);
    // Neither the box nor the system's own floor, which would cut through
    // a box this large, collides: the liquid lies in the bowl alone.
    if (ObjectParamsAccess* access = GetObjectParamsAccess()) {
      ObjectSettings s;
      s.collide = 0;
      access->AddObjectParams(&e, scene.fillBox, s);
      if (INode* floor = ip->GetINodeByName(kFloorNodeName)) access->AddObjectParams(&e, floor, s);
    }
    // The picked object is the emitter's reference 1; a filling percentage
    // of 0 makes the fill take every point it finds.
    if (ReferenceMaker* emitter = scene.emitter->GetObjectRef() ? scene.emitter->GetObjectRef()->FindBaseObject() : nullptr)
      emitter->ReplaceReference(1, scene.fillBox);
    source->SetValue(kEmitEmissionType, 0, 2);
    source->SetValue(kEmitFillingPercentage, 0, 0);
  }
  system->pblock2->SetValue(kFluidShowMesh, 0, 1);
  system->pblock2->SetValue(kFluidCalculateSurfaceAlso, 0, 1);
  // The scene as it now stands is the one the cache belongs to.
  e.Reset();
  scene.system = system;
  return scene;
}
