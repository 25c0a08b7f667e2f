// Material libraries: the file round trip, damaged files refused with the
// library left as it was, and materials living as long as someone uses them.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/sdk/max.h"

namespace {

class MaterialLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = vorel::host::TempPath() + "vorel_mtllib_" + std::to_string(getpid()) + ".mat";
    ip = GetCOREInterface();
    ip->ResetScene();
  }
  void TearDown() override {
    std::remove(path_.c_str());
    ip->ResetScene();
  }
  static Mtl* Named(const std::string& name, Point3 diffuse) {
    Mtl* m = new Mtl();
    m->SetName(name);
    m->diffuse = diffuse;
    return m;
  }
  std::vector<char> Bytes() {
    std::ifstream f(path_, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  void Write(const std::vector<char>& b) {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f.write(b.data(), std::streamsize(b.size()));
  }
  Interface* ip = nullptr;
  std::string path_;
};

TEST_F(MaterialLibrary, SavedLibraryLoadsBackWholeAndReplacesWhatTheLibraryHeld) {
  MtlBaseLib saved;
  saved.Add(Named("Syrup", Point3(0.8f, 0.4f, 0.1f)));
  saved.Add(Named("My Water", Point3(0.1f, 0.2f, 0.9f)));
  ASSERT_EQ(ip->SaveMaterialLib(path_.c_str(), &saved), 1) << ip->LastFileError();
  MtlBaseLib lib;
  lib.Add(Named("old", Point3()));
  ASSERT_EQ(ip->LoadMaterialLib(path_.c_str(), &lib), 1) << ip->LastFileError();
  ASSERT_EQ(lib.Count(), 2);
  EXPECT_EQ(lib.FindMtlByName("My Water"), 1);
  EXPECT_EQ(lib.FindMtlByName("old"), -1);
  EXPECT_EQ(lib.FindMtlByName("syrup"), -1);  // names match exactly
  EXPECT_EQ(lib[0]->GetName(), "Syrup");
  EXPECT_EQ(lib[0]->diffuse, Point3(0.8f, 0.4f, 0.1f));
  EXPECT_NE(lib[0], saved[0]);  // the file's own materials

  // A material a node uses outlives the library; one nobody uses goes.
  Mtl* kept = lib[1];
  INode* n = ip->CreateObjectNode(new GenBoxObject(), "box");
  n->SetMtl(kept);
  lib.DeleteAll();
  ASSERT_TRUE(Animatable::IsAlive(kept));
  EXPECT_EQ(n->GetMtl()->GetName(), "My Water");
}

TEST_F(MaterialLibrary, MissingForeignAndDamagedFilesAreRefusedAndLeaveTheLibraryAlone) {
  MtlBaseLib saved;
  saved.Add(Named("Syrup", Point3(0.8f, 0.4f, 0.1f)));
  saved.Add(Named("Water", Point3(0.1f, 0.2f, 0.9f)));
  ASSERT_EQ(ip->SaveMaterialLib(path_.c_str(), &saved), 1);
  const std::vector<char> good = Bytes();
  std::vector<char> nan = good;
  const float bad = std::nanf("");
  std::memcpy(nan.data() + nan.size() - 4, &bad, 4);  // the last material's blue
  std::vector<char> version = good;
  version[8] = 2;
  // The last material (36 bytes) left out of a sound chunk tree: one short
  // of the count, as a copy cut at that boundary would be.
  std::vector<char> shorter(good.begin(), good.end() - 36);
  uint32_t length = 0;
  std::memcpy(&length, shorter.data() + 14, 4);
  length -= 36;
  std::memcpy(shorter.data() + 14, &length, 4);
  struct Case {
    const char* label;
    std::vector<char> bytes;
    const char* says;
  } cases[] = {
      {"scene file", std::vector<char>({'V', 'O', 'R', 'E', 'L', 'S', 'C', 'N', 1, 0, 0, 0}), "is not a material library"},
      {"newer version", version, "unsupported material library version 2"},
      {"colour not a number", nan, "is truncated or corrupt"},
      {"one material short", shorter, "is truncated or corrupt"},
  };
  MtlBaseLib lib;
  lib.Add(Named("mine", Point3()));
  for (const Case& c : cases) {
    Write(c.bytes);
    EXPECT_EQ(ip->LoadMaterialLib(path_.c_str(), &lib), 0) << c.label;
    EXPECT_NE(ip->LastFileError().find(c.says), std::string::npos) << c.label << ": " << ip->LastFileError();
    ASSERT_EQ(lib.Count(), 1) << c.label;
    EXPECT_EQ(lib[0]->GetName(), "mine") << c.label;
  }
  for (size_t cut = 0; cut < good.size(); ++cut) {
    Write(std::vector<char>(good.begin(), good.begin() + long(cut)));
    ASSERT_EQ(ip->LoadMaterialLib(path_.c_str(), &lib), 0) << "cut at " << cut;
  }
  std::remove(path_.c_str());
  EXPECT_EQ(ip->LoadMaterialLib(path_.c_str(), &lib), 0);
  EXPECT_EQ(ip->LastFileError(), "cannot open " + path_);
  EXPECT_EQ(lib.FindMtlByName("mine"), 0);
}

}  // namespace
