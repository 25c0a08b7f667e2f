// The per-object attribute's parameter table. These are the block's own
// defaults; the engine writes its ini defaults when it attaches the
// attribute itself.
#include "scene_objects/object_attrib_params.h"

#include "scene_objects/simple_cust_attrib.h"
#include "scene_objects/vorel_strings.h"

ParamBlockDesc2* ObjectAttribParamBlock() { return GetSimpleAttribDesc()->GetParamBlockDescByID(0); }

std::vector<RolloutDef> ObjectAttribRollouts() {
  return {RolloutDef{0, kObjectAttribDialog, kStrObjectParamsRollout, 0}};
}

std::vector<ParamDef> ObjectAttribParamDefs() {
  const char* kAdherenceName =
      "Object Adherence; also called Coanda Effect. It is an object attractive force";
  return {
      ParamDef(kObjCollide, "collide", TYPE_INT, P_ANIMATABLE).LocalName("Collide")
          .Default(0).CheckButton(0, 1004),
      ParamDef(kObjCollisionGap, "collisionGap", TYPE_FLOAT, P_ANIMATABLE).LocalName("CollisionGAP")
          .Default(4.0f).Range(0.0001f, 5.0f).Spinner(0, EDITTYPE_FLOAT, 1490, 1003, 0.05f),
      ParamDef(kObjBounce, "bounce", TYPE_FLOAT, P_ANIMATABLE).LocalName("Bounce")
          .Default(4.0f).Range(0.0f, 100.0f).Spinner(0, EDITTYPE_FLOAT, 1491, 1005, 0.05f),
      ParamDef(kObjFriction, "friction", TYPE_FLOAT, P_ANIMATABLE).LocalName("Friction")
          .Default(4.0f).Range(0.0f, 100.0f).Spinner(0, EDITTYPE_FLOAT, 1492, 1006, 0.05f),
      ParamDef(kObjTracer, "tracer", TYPE_INT, P_ANIMATABLE).LocalName("Wetmap")
          .Default(1).CheckButton(0, 1007),
      ParamDef(kObjMapRes, "MapRes", TYPE_INT, P_ANIMATABLE)
          .LocalName("Pixel length dimension for the tracel map ( default 256)")
          .Default(256).Range(32, 2048).Spinner(0, EDITTYPE_INT, 1493, 1008, 32.0f),
      ParamDef(kObjMapPrefix, "MapPrefix", TYPE_STRING, P_ANIMATABLE)
          .LocalName("Prefix for the wetmap file sequence.").EditBox(0, 1081),
      ParamDef(kObjDryingTime, "drying_time", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Drying time in seconds. Raster will disappear in that time unless it is refreshed.")
          .Default(1.0f).Range(0.0f, 1000.0f).Spinner(0, EDITTYPE_FLOAT, 1494, 1009, 0.05f),
      ParamDef(kObjAdherence, "adherence", TYPE_FLOAT, P_ANIMATABLE).LocalName(kAdherenceName)
          .Default(0.65f).Range(0.0f, 1.0f).Spinner(0, EDITTYPE_FLOAT, 1495, 1010, 0.05f),
      ParamDef(kObjPartKiller, "partKiller", TYPE_INT, P_ANIMATABLE).LocalName("Particle Killer")
          .Default(1).CheckButton(0, 1129),
  };
}
