// Shared set-up of the front-end object tests: a scratch folder of its own
// per test (host root, registry file, temp folder, event folder), the
// plug-in's classes registered, an empty scene before and after.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpu_frontend/plugin_shell.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"
#include "host/core/registry.h"
#include "host/sdk/max.h"

namespace gpufe_test {

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// A solver frame of n particles, whole or cut to keep bytes.
inline void WriteFrame(const std::string& path, int32_t n, long keep = -1) {
  std::string b(size_t(272 + 28 * n), '\0');
  const uint32_t tag = 0x6DD41E00;
  const float ppuv = 8.0f;
  std::memcpy(&b[0], &tag, 4);
  std::memcpy(&b[8], &n, 4);
  std::memcpy(&b[12], &ppuv, 4);
  if (keep >= 0) b.resize(size_t(keep));
  WriteBytes(path, b);
}

class FrontendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = std::string(VOREL_BINARY_DIR) + "/gpufe_scratch/t" + std::to_string(::getpid()) + "_" +
            std::to_string(counter++);
    std::system(("rm -rf '" + root_ + "'").c_str());
    vorel::host::MakeDirectories(root_ + "/tmp");
    vorel::host::MakeDirectories(root_ + "/run");
    vorel::host::MakeDirectories(root_ + "/host/plugcfg");
    ::chmod((root_ + "/run").c_str(), 0700);
    SaveEnv("TMPDIR", root_ + "/tmp");
    SaveEnv("XDG_RUNTIME_DIR", root_ + "/run");
    vorel::host::SetRegistryFile(root_ + "/registry");
    vorel::host::SetInstallRoot(root_ + "/host");
    ClassDirectory& dir = ClassDirectory::Get();
    for (ClassDesc* cd : {static_cast<ClassDesc*>(vorel_gpufe::GetBlobNodeDesc()),
                          static_cast<ClassDesc*>(vorel_gpufe::GetVorSourceObjDesc())})
      if (!dir.FindClass(cd->SuperClassID(), cd->ClassID())) dir.AddClass(cd);
    GetCOREInterface()->ResetScene();
    GetCOREInterface()->SetTime(0, false);
    vorel::host::ClearMessageBoxLog();
  }
  void TearDown() override {
    GetCOREInterface()->ResetScene();
    vorel::host::SetRegistryFile("");
    vorel::host::SetInstallRoot("");
    for (auto& e : env_) {
      if (e.second.first)
        ::setenv(e.first.c_str(), e.second.second.c_str(), 1);
      else
        ::unsetenv(e.first.c_str());
    }
    std::system(("rm -rf '" + root_ + "'").c_str());
  }
  void SaveEnv(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    env_.push_back({name, {old != nullptr, old ? old : ""}});
    ::setenv(name, value.c_str(), 1);
  }
  // Where a new object's caches go with no ini and no registry.
  std::string TempCaches() const { return root_ + "/tmp/Vorel/caches"; }

  std::string root_;
  std::vector<std::pair<std::string, std::pair<bool, std::string>>> env_;
};

}  // namespace gpufe_test
