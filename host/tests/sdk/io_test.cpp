#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "test_classes.h"

using namespace sdktest;

namespace {

std::string TempPath(const std::string& name) {
  return std::string(VOREL_BINARY_DIR) + "/sdk_io_" + name;
}

std::vector<uint8_t> ReadAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
void WriteAll(const std::string& p, const std::vector<uint8_t>& b) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

TEST(Chunks, RoundTripNestedChunksInAnyOrder) {
  ISave s;
  s.BeginChunk(0x7B0);
  int32_t a = 17;
  s.Write(&a, 4);
  s.EndChunk();
  s.BeginChunk(0x7B1);
  s.BeginChunk(0x10);
  s.WriteCString("inner");
  s.EndChunk();
  s.EndChunk();
  s.BeginChunk(0x7B2);  // empty
  s.EndChunk();
  ASSERT_TRUE(s.Balanced());

  ILoad l(s.Bytes());
  ASSERT_TRUE(l.StructureValid());
  std::vector<uint16_t> ids;
  IOResult res;
  while ((res = l.OpenChunk()) == IO_OK) {
    ids.push_back(l.CurChunkID());
    if (l.CurChunkID() == 0x7B0) {
      int32_t v = 0;
      uint32_t n = 0;
      EXPECT_EQ(l.Read(&v, 4, &n), IO_OK);
      EXPECT_EQ(v, 17);
      EXPECT_EQ(l.Read(&v, 4, &n), IO_ERROR);  // past the end of the chunk
      EXPECT_EQ(n, 0u);
    } else if (l.CurChunkID() == 0x7B1) {
      int32_t v;
      EXPECT_EQ(l.Read(&v, 4), IO_ERROR);  // holds chunks, not data
      ASSERT_EQ(l.OpenChunk(), IO_OK);
      std::string t;
      EXPECT_EQ(l.ReadCStringChunk(t), IO_OK);
      EXPECT_EQ(t, "inner");
      l.CloseChunk();
      EXPECT_EQ(l.OpenChunk(), IO_END);
    } else {
      EXPECT_EQ(l.CurChunkLength(), 0u);
    }
    l.CloseChunk();
  }
  EXPECT_EQ(res, IO_END);
  EXPECT_EQ(ids, (std::vector<uint16_t>{0x7B0, 0x7B1, 0x7B2}));
}

TEST(Chunks, TruncatedTreesAreRefusedAndReadFailuresCanBeInjected) {
  ISave s;
  s.BeginChunk(1);
  s.BeginChunk(2);
  int32_t v = 5;
  s.Write(&v, 4);
  s.EndChunk();
  s.EndChunk();
  for (size_t cut = 1; cut < s.Bytes().size(); ++cut) {
    ILoad l(std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().begin() + long(cut)));
    EXPECT_FALSE(l.StructureValid()) << cut;
    EXPECT_EQ(l.OpenChunk(), IO_ERROR);
  }
  ILoad l(s.Bytes());
  SetLoadReadFailure(2);
  l.OpenChunk();
  l.OpenChunk();
  int32_t x = 0;
  EXPECT_EQ(l.Read(&x, 2), IO_OK);
  EXPECT_EQ(l.Read(&x, 2), IO_ERROR);
  SetLoadReadFailure(0);
}

class SceneFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassDirectory::Get().AddClass(GetTestObjectDesc());
    ip = GetCOREInterface();
    ip->ResetScene();
  }
  void TearDown() override {
    SetLoadReadFailure(0);
    ip->ResetScene();
  }
  // A scene with an object referencing a box node, keyed values, a node
  // table, a material, a parent link and a selection.
  void Build() {
    auto* o = new TestObject();
    o->label = "saved label";
    INode* sys = ip->CreateObjectNode(o, "sys");
    auto* box = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    INode* b = ip->CreateObjectNode(box, "Vorelclip");
    box->GetParamBlock(0)->SetValue(BOXOBJ_HEIGHT, 0, 200.0f);
    b->SetWireColor(255);
    b->Hide(true);
    b->XRayMtl(true);
    o->ReplaceReference(1, b);
    o->pblock2->SetKey(P_RATE, 0, 2.0f);
    o->pblock2->SetKey(P_RATE, 800, 8.0f);
    o->pblock2->SetValue(P_NAME, 0, "text");
    o->pblock2->Append(P_NODES, 1, &b);
    Matrix3 tm = RotateXMatrix(0.61086524f);
    tm.SetTrans(Point3(0.0f, 15.0f, 32.0f));
    sys->SetNodeTM(0, tm);
    auto* m = new Mtl();
    m->SetName("water");
    sys->SetMtl(m);
    INode* child = ip->CreateObjectNode(new TestObject(), "child");
    sys->AttachChild(child);
    ip->SelectNode(b);
    ip->SetAnimRange(Interval(0, 3200));
    b->SetTMKey(800, TransMatrix(Point3(0.0f, 0.0f, 7.25f)));  // and one pinned at 0
  }
  Interface* ip = nullptr;
};

TEST_F(SceneFiles, SaveAndLoadRestoresTheSceneWhole) {
  Build();
  uint32_t sysHandle = ip->GetINodeByName("sys")->GetHandle();
  std::string path = TempPath("roundtrip.vsc");
  ASSERT_TRUE(ip->SaveToFile(path)) << ip->LastFileError();
  EXPECT_EQ(ip->GetCurFilePath(), path);
  ip->ResetScene();
  EXPECT_EQ(ip->NodeCount(), 0);
  ASSERT_TRUE(ip->LoadFromFile(path)) << ip->LastFileError();

  INode* sys = ip->GetINodeByName("sys");
  INode* b = ip->GetINodeByName("vorelclip");
  ASSERT_TRUE(sys && b);
  EXPECT_EQ(sys->GetHandle(), sysHandle);
  auto* o = dynamic_cast<TestObject*>(sys->GetObjectRef());
  ASSERT_NE(o, nullptr);
  EXPECT_TRUE(o->loaded);
  EXPECT_EQ(o->label, "saved label");
  EXPECT_EQ(o->extra.size(), 1u);
  EXPECT_EQ(o->extra[0], b);
  EXPECT_EQ(o->pblock2->GetOwner(), o);
  EXPECT_FLOAT_EQ(o->pblock2->GetFloat(P_RATE, 400), 2.0f);
  EXPECT_FLOAT_EQ(o->pblock2->GetFloat(P_RATE, 900), 8.0f);
  EXPECT_STREQ(o->pblock2->GetStr(P_NAME), "text");
  EXPECT_EQ(o->pblock2->GetInt(P_COUNT), -3);
  ASSERT_EQ(o->pblock2->Count(P_NODES), 1);
  EXPECT_EQ(o->pblock2->GetINode(P_NODES, 0, 0), b);
  EXPECT_TRUE(b->IsHidden());
  EXPECT_TRUE(b->HasObjXRayMtl());
  EXPECT_EQ(b->GetWireColor(), 255u);
  EXPECT_FLOAT_EQ(b->GetObjectRef()->GetParamBlock(0)->GetFloat(BOXOBJ_HEIGHT), 200.0f);
  EXPECT_EQ(sys->GetNodeTM(0).GetTrans(), Point3(0.0f, 15.0f, 32.0f));
  EXPECT_EQ(sys->NumTMKeys(), 0);
  ASSERT_EQ(b->NumTMKeys(), 2);
  EXPECT_EQ(b->GetTMKeyTime(1), 800);
  EXPECT_EQ(b->GetNodeTM(400).GetTrans(), Point3(0.0f, 0.0f, 3.625f));
  ASSERT_NE(sys->GetMtl(), nullptr);
  EXPECT_EQ(sys->GetMtl()->GetName(), "water");
  ASSERT_EQ(sys->NumberOfChildren(), 1);
  EXPECT_STREQ(sys->GetChildNode(0)->GetName(), "child");
  EXPECT_EQ(ip->GetSelNodeCount(), 1);
  EXPECT_EQ(ip->GetSelNode(0), b);
  EXPECT_EQ(ip->GetAnimRange(), Interval(0, 3200));
  // A new node after the load gets a fresh handle.
  INode* n = ip->CreateObjectNode(new TestObject(), "new");
  EXPECT_GT(n->GetHandle(), sysHandle);
}

TEST_F(SceneFiles, TruncatedOrCorruptFilesLoadNothingAndKeepTheScene) {
  Build();
  std::string path = TempPath("good.vsc"), bad = TempPath("bad.vsc");
  ASSERT_TRUE(ip->SaveToFile(path));
  std::vector<uint8_t> bytes = ReadAll(path);
  ip->ResetScene();
  ip->CreateObjectNode(new TestObject(), "keep");
  // Cuts at every length, chunk boundaries included (a file cut after its
  // settings chunk is well formed as far as it goes): each one refused, the
  // scene untouched.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    WriteAll(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
    EXPECT_FALSE(ip->LoadFromFile(bad)) << cut;
    EXPECT_FALSE(ip->LastFileError().empty());
  }
  std::vector<uint8_t> wrong = bytes;
  wrong[0] = 'X';
  WriteAll(bad, wrong);
  EXPECT_FALSE(ip->LoadFromFile(bad));
  EXPECT_NE(ip->LastFileError().find("not a Vorel scene file"), std::string::npos);
  EXPECT_FALSE(ip->LoadFromFile(TempPath("missing.vsc")));
  EXPECT_EQ(ip->NodeCount(), 1);
  EXPECT_NE(ip->GetINodeByName("keep"), nullptr);
  EXPECT_TRUE(ip->GetCurFilePath().empty());
}

// What a set or a move refuses (NaN, infinity) is refused in a file too:
// the load fails, says where, and keeps the scene.
TEST_F(SceneFiles, NonFiniteValuesAndTransformsAreRefused) {
  Build();
  std::string path = TempPath("nonfinite.vsc"), bad = TempPath("nonfinite_bad.vsc");
  ASSERT_TRUE(ip->SaveToFile(path));
  const std::vector<uint8_t> bytes = ReadAll(path);
  ip->ResetScene();
  ip->CreateObjectNode(new TestObject(), "keep");
  const struct {
    float stored;  // a value saved once in the file
    float damaged;
    const char* said;
  } cases[] = {{200.0f, std::nanf(""), "\"height\""},         // the box's height
               {8.0f, -INFINITY, "\"Emission Rate\""},     // a key
               {32.0f, INFINITY, "node \"sys\""},          // a node's position
               {7.25f, std::nanf(""), "node \"Vorelclip\""}};  // a transform key
  for (const auto& c : cases) {
    std::vector<uint8_t> b = bytes;
    auto at = std::search(b.begin(), b.end(), reinterpret_cast<const uint8_t*>(&c.stored),
                          reinterpret_cast<const uint8_t*>(&c.stored) + 4);
    ASSERT_NE(at, b.end()) << c.said;
    ASSERT_EQ(std::search(at + 1, b.end(), at, at + 4), b.end()) << c.said;  // only once
    std::memcpy(&*at, &c.damaged, 4);
    WriteAll(bad, b);
    EXPECT_FALSE(ip->LoadFromFile(bad)) << c.said;
    EXPECT_NE(ip->LastFileError().find(c.said), std::string::npos) << ip->LastFileError();
    EXPECT_EQ(ip->NodeCount(), 1);
  }
}

TEST_F(SceneFiles, InjectedReadFailuresFailTheLoadCleanly) {
  Build();
  std::string path = TempPath("inject.vsc");
  ASSERT_TRUE(ip->SaveToFile(path));
  ip->ResetScene();
  ip->CreateObjectNode(new TestObject(), "keep");
  int failures = 0;
  for (int nth = 1; nth < 5000; ++nth) {
    SetLoadReadFailure(nth);
    bool ok = ip->LoadFromFile(path);
    SetLoadReadFailure(0);
    if (ok) break;  // nth is past the last read
    ++failures;
    EXPECT_NE(ip->GetINodeByName("keep"), nullptr);
  }
  EXPECT_GT(failures, 10);
  EXPECT_NE(ip->GetINodeByName("sys"), nullptr);  // the last try loaded
}

TEST_F(SceneFiles, MissingClassIsAClearError) {
  Build();
  std::string path = TempPath("missing_class.vsc");
  ASSERT_TRUE(ip->SaveToFile(path));
  ClassDirectory::Get().RemoveClass(GetTestObjectDesc());
  EXPECT_FALSE(ip->LoadFromFile(path));
  EXPECT_NE(ip->LastFileError().find("a plug-in is missing"), std::string::npos);
  ClassDirectory::Get().AddClass(GetTestObjectDesc());
  EXPECT_NE(ip->GetINodeByName("sys"), nullptr);  // unchanged
}

}  // namespace
