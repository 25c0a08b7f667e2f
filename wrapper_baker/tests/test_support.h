// Shared set-up of the wrapper and baker tests: a fresh headless host with
// both classes registered, and scratch folders that remove themselves.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/core/registry.h"
#include "host/sdk/hold.h"
#include "host/ui/ui_host.h"
#include "wrapper_baker/pelliqor/blob_node.h"
#include "wrapper_baker/vorbaker/baker_node.h"

namespace wrapper_test {

class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/wrapper_test_XXXXXX";
    path_ = ::mkdtemp(name) ? name : "";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A fresh scene and user interface, both plug-ins' classes and dialogs
// known, the registry in the scratch folder, the host's defaults back.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vorel_ui::ResetUI();
    ip = vorel_ui::UI();
    ip->ResetScene();
    ip->SetTicksPerFrame(160);
    ip->SetAnimRange(Interval(0, 100 * 160));
    ip->SetCommandPanelTaskMode(TASK_MODE_MODIFY);
    ip->SetRealTimePlayback(true);
    ip->SetStdCommandMode(0);
    vorel::host::SetRegistryFile(scratch / "registry");
    static bool registered = false;
    if (!registered) {
      ClassDirectory::Get().AddClass(pelliqor::GetBlobNodeDesc());
      ClassDirectory::Get().AddClass(vorbaker::GetBlobNodeDesc());
      registered = true;
    }
    pelliqor::RegisterDialogs();
    vorbaker::RegisterDialogs();
  }
  void TearDown() override {
    ip->EndEditParams();
    ip->ResetScene();
    vorel_ui::ResetUI();
  }

  // A wrapper in a node of its own, caches under the scratch folder.
  pelliqor::BlobNode* NewWrapper(INode** nodeOut = nullptr) {
    auto* w = static_cast<pelliqor::BlobNode*>(pelliqor::GetBlobNodeDesc()->Create(false));
    INode* n = ip->CreateObjectNode(w, "wrap");
    w->pblock->SetValue(pelliqor::kExportDirectory, 0, scratch.path().c_str());
    if (nodeOut) *nodeOut = n;
    return w;
  }

  ScriptedParticleObject* NewClassic(const char* name, INode** nodeOut = nullptr) {
    auto* p = new ScriptedParticleObject();
    INode* n = ip->CreateObjectNode(p, name);
    if (nodeOut) *nodeOut = n;
    return p;
  }

  UIInterface* ip = nullptr;
  ScratchDir scratch;
};

}  // namespace wrapper_test
