#include "scene_objects/object_attrib_rollout.h"

#include "host/ui/ui.h"
#include "scene_objects/object_attrib_params.h"
#include "scene_objects/vorel_strings.h"

void RegisterObjectAttribDialog(HINSTANCE instance) {
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate t;
  t.id = kObjectAttribDialog;
  const char* title = VorelString(kStrObjectParamsRollout);
  t.title = title ? title : "";
  t.controls = {{1004, Kind::CustButton, "COLLIDE"},
                {1490, Kind::CustEdit, ""}, {1003, Kind::Spinner, ""},
                {1491, Kind::CustEdit, ""}, {1005, Kind::Spinner, ""},
                {1492, Kind::CustEdit, ""}, {1006, Kind::Spinner, ""},
                {1007, Kind::CustButton, "Add wetmap sequence"},
                {1493, Kind::CustEdit, ""}, {1008, Kind::Spinner, ""},
                {1081, Kind::CustEdit, ""},
                {1494, Kind::CustEdit, ""}, {1009, Kind::Spinner, ""},
                {1495, Kind::CustEdit, ""}, {1010, Kind::Spinner, ""},
                {1129, Kind::CustButton, "Kill parts on collide"}};
  vorel_ui::RegisterDialogTemplate(instance, t);
}
