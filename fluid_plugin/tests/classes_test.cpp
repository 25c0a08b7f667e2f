// The plug-in's eight class descriptors in the host's order, and the fluid
// system's creation through the "New Vorel" action.
#include <gtest/gtest.h>

#include <string>

#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/vorel_classes.h"
#include "host/ui/ui.h"
#include "scene_objects/vorel_strings.h"

namespace {

TEST(VorelClasses, DescriptorsAnswerTheirIdentityInIndexOrder) {
  struct Row {
    bool isPublic;
    const char* className;
    SClass_ID super;
    Class_ID id;
    const char* category;
    const char* internalName;  // null: none
    bool hasInstance;
    bool ownsBlock;
  } rows[] = {
      {true, "Vorel", 0x10, Class_ID(0x2B7C693E, 0x07443541), "Vorel pouring system", "Vorel", true, true},
      {false, "Vorel", 0x10, Class_ID(0x2BC6692F, 0x4CB67E0B), "Vorel pouring system", nullptr, true, true},
      {true, "Vorel CA", 0x1160, Class_ID(0x773149F6, 0x796A4273), "Vorel pouring system", "SimpleCustAttrib",
       true, true},
      {true, "Vorel-path", 0x830, Class_ID(0x0D603F24, 0x339F43CA), "Vorel Forces", "Wind", true, true},
      {false, "VorelpathFollowMod", 0x820, Class_ID(0x7EAB1B51, 0x02F14E4A), "Vorel pouring system", nullptr,
       false, false},
      {true, "objAttractor", 0x830, Class_ID(0x439C181A, 0x1C543B39), "Vorel Forces", "ObjAttractor", true,
       true},
      {false, "VorelObjAttractorMod", 0x820, Class_ID(0x6A6F7C85, 0x7C462C2A), "Vorel pouring system", nullptr,
       false, false},
      {false, "Vorel", 0x10, Class_ID(0x79D8207B, 0x59FD35A9), "Vorel pouring system", nullptr, true, true},
  };
  ASSERT_EQ(kVorelClassCount, 8);
  for (int i = 0; i < kVorelClassCount; ++i) {
    SCOPED_TRACE(i);
    const Row& r = rows[i];
    auto* cd = dynamic_cast<ClassDesc2*>(VorelClassDesc(i));
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->IsPublic() != 0, r.isPublic);
    // Name and category held at once: each text keeps its own storage.
    const char* name = cd->ClassName();
    const char* category = cd->Category();
    ASSERT_NE(name, nullptr);
    ASSERT_NE(category, nullptr);
    EXPECT_STREQ(name, r.className);
    EXPECT_STREQ(category, r.category);
    EXPECT_EQ(cd->SuperClassID(), r.super);
    EXPECT_EQ(cd->ClassID(), r.id);
    if (r.internalName) {
      EXPECT_STREQ(cd->InternalName(), r.internalName);
    } else {
      EXPECT_EQ(cd->InternalName(), nullptr);
    }
    EXPECT_EQ(cd->HInstance() != nullptr, r.hasInstance);
    if (r.hasInstance) {
      EXPECT_EQ(cd->HInstance(), static_cast<void*>(VorelModuleHandle()));
    }
    EXPECT_EQ(cd->GetParamBlockDescByID(0) != nullptr, r.ownsBlock);
    EXPECT_EQ(cd->OkToCreate(GetCOREInterface()), 1);
  }
  EXPECT_EQ(VorelClassDesc(8), nullptr);
  EXPECT_EQ(VorelClassDesc(-1), nullptr);
  // Emitter and ghost source share their class name, not their id.
  EXPECT_STREQ(VorelClassDesc(1)->ClassName(), VorelClassDesc(7)->ClassName());
  EXPECT_NE(VorelClassDesc(1)->ClassID(), VorelClassDesc(7)->ClassID());
  EXPECT_EQ(kVorelLibVersion, 0x36B02600UL);
  ASSERT_NE(VorelLibDescription(), nullptr);
  EXPECT_EQ(std::string(VorelLibDescription()).rfind("Vorel pouring liquid system (", 0), 0u);
}

// Counts the "New Vorel" runs and what set-key mode was meanwhile.
class NewVorelProbe : public ActionCallback {
 public:
  BOOL ExecuteAction(int id) override {
    if (id == kActionNewVorel) {
      ++runs;
      setKeyDuringRun = GetCOREInterface()->GetSetKeyMode();
    }
    return TRUE;
  }
  int runs = 0;
  bool setKeyDuringRun = true;
};

TEST(VorelClasses, CreatingAFluidSystemRunsNewVorelOnceWithSetKeySuspended) {
  Interface* ip = GetCOREInterface();
  IActionManager* am = ip->GetActionManager();
  ASSERT_NE(am, nullptr);
  static const ActionDescription descs[] = {{kActionNewVorel, 1, 1, 2}};
  am->RegisterActionTable(new ActionTable(kVorelActionTableId, kVorelActionTableId, "Vorel", 0, 1, descs,
                                          nullptr));
  NewVorelProbe probe;
  am->ActivateActionTable(&probe, kVorelActionTableId);
  ip->SetSetKeyMode(true);

  TetraProcObjClassDesc* cd = GetTetraProcObjDesc();
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(probe.runs, 1);
  EXPECT_FALSE(probe.setKeyDuringRun);
  EXPECT_FALSE(ip->GetSetKeyMode());
  EXPECT_EQ(cd->EndCreate(ip), 1);
  EXPECT_TRUE(ip->GetSetKeyMode());
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(cd->NumActionTables(), 1);

  am->DeactivateActionTable(&probe, kVorelActionTableId);
  am->Reset();
  ip->SetSetKeyMode(false);
}

}  // namespace
