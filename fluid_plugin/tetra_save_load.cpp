// Saving a fluid system's own chunks with the scene and loading them: the
// rename of an auto-named system after the scene file, and finding the cache
// folder again on load.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fluid_core/cache_folders.h"
#include "fluid_core/packed_cache.h"
#include "fluid_core/wet_maps.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/save_load.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"

namespace {
constexpr size_t kNameRecord = 256;
constexpr size_t kFolderRecord = 260;
// Notes on a damaged scene stay on the prompt line as long as action results.
constexpr unsigned kLoadNoteMs = 15000;
constexpr uint32_t kMoveNotePromptMs = 15000;

void WriteI32(ISave* s, int32_t v) { s->Write(&v, 4); }
void WriteF32(ISave* s, float v) { s->Write(&v, 4); }

// A text in a fixed record: cut to the record less its terminator, zero-padded.
void WriteRecord(ISave* s, const std::string& text, size_t size) {
  std::vector<char> rec(size, 0);
  std::memcpy(rec.data(), text.data(), std::min(text.size(), size - 1));
  s->Write(rec.data(), uint32_t(size));
}

bool ReadRecord(ILoad* l, size_t size, std::string& out) {
  std::vector<char> rec(size + 1, 0);
  if (l->Read(rec.data(), uint32_t(size)) != IO_OK) return false;
  rec[size - 1] = 0;  // a record without its terminator is cut, never overrun
  out = rec.data();
  return true;
}

template <typename T>
bool ReadValue(ILoad* l, T& v) {
  return l->Read(&v, sizeof v) == IO_OK;
}

// A length-prefixed text of at most `limit` bytes with its terminator.
bool ReadText(ILoad* l, size_t limit, std::string& out) {
  int32_t len = 0;
  if (!ReadValue(l, len) || len <= 0 || size_t(len) > limit) return false;
  std::vector<char> buf(size_t(len) + 1, 0);
  if (l->Read(buf.data(), uint32_t(len)) != IO_OK) return false;
  out = buf.data();
  return true;
}

void CopyIfPresent(const std::string& from, const std::string& to, bool& failed) {
  if (!vorel::host::FileExists(from)) return;
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec || vorel::host::FileSize(to) != vorel::host::FileSize(from)) failed = true;
}

}  // namespace

std::string SceneRenamedSystem(const std::string& sceneBase, const std::string& oldName) {
  if (oldName.compare(0, 4, "aux0") != 0 || sceneBase.empty()) return oldName;
  if (oldName.size() < 7) return sceneBase + "_" + oldName;
  return sceneBase + oldName.substr(oldName.size() - 7);
}

bool ValidChunk1967(const SystemStateChunk& c) {
  return c.sourceCount >= 0 && c.sourceCount <= FluidEngine::kMaxSources && c.lastSolved >= -1 &&
         c.lastSolved < FluidEngine::kMaxFrames;
}

bool ValidStartFrame(int32_t startFrame) {
  constexpr int64_t kMaxTicksPerFrame = 4800;
  return (std::abs(int64_t(startFrame)) + FluidEngine::kMaxFrames) * kMaxTicksPerFrame <= INT32_MAX;
}

bool ValidSystemName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

void TetraProcObj::RenameForScene() {
  std::string folder, base;
  vorel::host::SplitFilename(GetCOREInterface()->GetCurFilePath(), &folder, &base, nullptr);
  const std::string oldName = engine.systemName;
  const std::string newName = SceneRenamedSystem(base, oldName);
  if (newName == oldName) return;
  FrameCache from = engine.solver->frameCache;
  FrameCache to = from;
  to.systemName = newName;
  // Whatever already holds the new name (another scene's cache, of this
  // process or another, whatever its stamp; a folder, even a file) is not
  // ours: only a folder this save makes itself is written into.
  const FolderClaim claim = ClaimCacheFolder(engine.cacheRoot, newName);
  if (claim != FolderClaim::kClaimed) {
    const std::string why = claim == FolderClaim::kTaken ? " holds another scene's cache"
                                                         : " cannot be created";
    ShowTempPrompt(("Vorel-> The cache folder " + newName + why + "; the system keeps the name " +
                    oldName + ".").c_str(), 5000);
    return;
  }
  const std::filesystem::path target = std::filesystem::path(to.SystemFolder()).parent_path();
  std::error_code ec;
  bool failed = false;
  auto copy = [&](const std::string& src, const std::string& dst) { CopyIfPresent(src, dst, failed); };
  for (int n = 0; n <= std::min(engine.lastSolved, FluidEngine::kMaxFrames - 1); ++n) {
    copy(from.MeshPath(n), to.MeshPath(n));
    copy(from.FramePath(n), to.FramePath(n));
  }
  copy(from.SystemFolder() + "Vorel.log", to.SystemFolder() + "Vorel.log");
  if (failed) {
    // Cut copies would keep a full disk full: the folder this attempt made
    // goes with them.
    std::filesystem::remove_all(target, ec);
    // A renamed system would silently lack frames: the old folder is whole.
    ShowTempPrompt(("Vorel-> The cache could not be copied to " + newName + "; the system keeps "
                    "the name " + oldName + ".").c_str(), 5000);
    return;
  }
  engine.SetSystemName(newName);
  claimedFolder_ = to.SystemFolder();
}

IOResult TetraProcObj::Save(ISave* isave) {
  RenameForScene();
  FluidEngine& e = engine;
  const int sources = std::clamp(e.sourceCount, 0, FluidEngine::kMaxSources);
  const int lastSolved = std::clamp(e.lastSolved, -1, FluidEngine::kMaxFrames - 1);

  isave->BeginChunk(kChunkScale);
  WriteF32(isave, scaleValue);
  isave->EndChunk();

  isave->BeginChunk(kChunkState);
  WriteI32(isave, sources);
  WriteI32(isave, lastSolved);
  WriteI32(isave, std::clamp(e.lastMeshed, -1, lastSolved));
  WriteF32(isave, float(e.solverClock));
  for (int i = 0; i <= lastSolved; ++i) {
    const uint32_t n = uint32_t(e.frameParticleCount[size_t(i)]);
    isave->Write(&n, 4);
  }
  WriteI32(isave, int32_t(e.systemName.size() + 1));
  isave->WriteCString(e.systemName.c_str());
  WriteI32(isave, e.startFrame);
  const double density = e.solver->particlesPerVolume;
  isave->Write(&density, 8);
  // The scale the cache's frames were solved at, which a Scale changed
  // since (and not yet solved at) must not hide from the loaded scene.
  WriteF32(isave, lastSolved >= 0 && e.cacheScale > 0.0f ? e.cacheScale : e.FrameScale());
  isave->EndChunk();

  isave->BeginChunk(kChunkEmpty);
  isave->EndChunk();

  isave->BeginChunk(kChunkCacheRoot);
  WriteI32(isave, int32_t(e.cacheRoot.size() + 1));
  isave->WriteCString(e.cacheRoot.c_str());
  isave->EndChunk();

  isave->BeginChunk(kChunkToolbar);
  WriteI32(isave, 1);
  isave->EndChunk();

  isave->BeginChunk(kChunkWetMaps);
  WriteI32(isave, int32_t(e.wetMaps.size()));
  for (const WetMap* w : e.wetMaps) WriteRecord(isave, w ? w->name : "", kNameRecord);
  isave->EndChunk();

  isave->BeginChunk(kChunkSourceNames);
  for (int i = 0; i < sources; ++i) {
    INode* n = e.sourceNodes[size_t(i)];
    WriteRecord(isave, n && e.sourceObjects[size_t(i)] ? n->GetName() : "", kNameRecord);
  }
  isave->EndChunk();

  isave->BeginChunk(kChunkSourceFolders);
  for (int i = 0; i < sources; ++i) {
    FluidSource* s = e.sourceObjects[size_t(i)];
    WriteRecord(isave, s ? s->SourceFileFolder() : "", kFolderRecord);
  }
  isave->EndChunk();
  return IO_OK;
}

IOResult TetraProcObj::Load(ILoad* iload) {
  FluidEngine& e = engine;
  e.owner = this;
  bool haveRoot = false, haveToolbar = false;
  std::string savedRoot;
  int32_t toolbarFlag = 0;
  IOResult result = IO_OK;
  while (iload->OpenChunk() == IO_OK) {
    switch (iload->CurChunkID()) {
      case kChunkState: {
        SystemStateChunk c;
        if (!ReadValue(iload, c.sourceCount) || !ReadValue(iload, c.lastSolved) ||
            !ReadValue(iload, c.lastMeshed))
          break;
        if (!ValidChunk1967(c)) break;  // a foreign or corrupt chunk sizes nothing
        if (!ReadValue(iload, c.solverClock)) {
          result = IO_ERROR;
          break;
        }
        if (!std::isfinite(c.solverClock)) break;
        e.sourceCount = c.sourceCount;
        e.lastSolved = c.lastSolved;
        e.lastMeshed = std::clamp(c.lastMeshed, -1, c.lastSolved);
        e.solverClock = c.solverClock;
        for (int i = 0; i <= c.lastSolved; ++i) {
          uint32_t n = 0;
          if (!ReadValue(iload, n)) break;
          e.frameParticleCount[size_t(i)] = int32_t(n);
        }
        for (int i = 0; i <= e.lastMeshed; ++i) e.frameMeshed[size_t(i)] = 1;
        std::string name;
        // A name leading out of the cache root would put the frames there.
        if (ReadText(iload, kNameRecord, name) && ValidSystemName(name)) loadedName_ = name;
        int32_t start = 0;
        double density = 0.0;
        float scale = 0.0f;
        if (ReadValue(iload, start)) {
          if (ValidStartFrame(start)) {
            e.startFrame = start;
          } else {
            char text[200];
            std::snprintf(text, sizeof text,
                          "Vorel-> The scene's start frame %d lies far outside any animation; the cache "
                          "starts at frame %d.",
                          int(start), e.startFrame);
            ShowTempPrompt(text, kLoadNoteMs);
          }
        }
        if (ReadValue(iload, density) && density > 0.0 && std::isfinite(density))
          e.solver->SetParticleDensity(density);
        if (ReadValue(iload, scale)) {
          e.solver->frameCache.SetScale(scale);
          // The scale the saved frames were solved at.
          if (scale > 0.0f && std::isfinite(scale)) e.cacheScale = scale;
        }
        break;
      }
      case kChunkCacheRoot:
        haveRoot = ReadText(iload, kFolderRecord, savedRoot);
        break;
      case kChunkToolbar:
        haveToolbar = ReadValue(iload, toolbarFlag);
        break;
      case kChunkWetMaps: {
        int32_t n = 0;
        if (!ReadValue(iload, n) || n < 0) break;
        e.savedWetMapNames.clear();
        std::string name;
        for (int32_t i = 0; i < n && ReadRecord(iload, kNameRecord, name); ++i)
          e.savedWetMapNames.push_back(name);
        break;
      }
      case kChunkSourceNames: {
        savedSourceNames.assign(size_t(e.sourceCount), std::string());
        for (int i = 0; i < e.sourceCount; ++i)
          if (!ReadRecord(iload, kNameRecord, savedSourceNames[size_t(i)])) break;
        break;
      }
      case kChunkSourceFolders: {
        savedSourceFolders.clear();
        std::string folder;
        for (int i = 0; i < e.sourceCount && ReadRecord(iload, kFolderRecord, folder); ++i)
          savedSourceFolders.push_back(folder);
        float oldScale = 0.0f;  // older files end the chunk with the scale
        if (iload->CurChunkLength() >= uint32_t(e.sourceCount) * kFolderRecord + 4 &&
            ReadValue(iload, oldScale) && std::isfinite(oldScale))
          scaleValue = oldScale;
        break;
      }
      case kChunkScale: {
        float scale = 0.0f;
        if (ReadValue(iload, scale) && std::isfinite(scale)) scaleValue = scale;
        break;
      }
      default:
        break;
    }
    iload->CloseChunk();
    if (result != IO_OK) return result;
  }
  // The folder is looked for once every chunk is read, so the chunks may come
  // in any order.
  if (haveRoot) FindCacheFolder(savedRoot, loadedName_);
  if (haveToolbar) {
    e.RefreshAfterLoad();
    toolbarShown = toolbarFlag != 0;
  }
  for (int i = 0; i < e.sourceCount; ++i) e.solver->AddSource(Vec3f(0.0f, 0.0f, 0.0f));
  iload->RegisterPostLoadCallback(new VorelPostLoadCB(this));
  return IO_OK;
}

void TetraProcObj::FindCacheFolder(const std::string& savedRoot, const std::string& savedName) {
  FluidEngine& e = engine;
  auto found = [&savedName](const std::string& root) {
    if (savedName.empty() || root.empty()) return false;
    // An unpack killed while it swapped the folders may have left the
    // cache beside its folder.
    FrameCache at;
    at.cacheRoot = root;
    at.systemName = savedName;
    RecoverUnpackLeftovers(at);
    return vorel::host::DirectoryExists(root + "/Vorel/" + savedName);
  };
  const std::string sceneFolder = SceneFolder(GetCOREInterface()->GetCurFilePath());
  std::string root;
  if (found(savedRoot)) root = savedRoot;
  else if (found(sceneFolder)) root = sceneFolder;
  else if (found(e.cacheRoot)) root = e.cacheRoot;

  if (!root.empty()) {
    // A cache move killed part-way, or a scene saved before its cache was
    // moved: the markers of the move say which folder holds the whole cache.
    std::string note;
    TraceCacheMove(root, savedName, note);
    if (!note.empty()) ShowTempPrompt(note.c_str(), kMoveNotePromptMs);
    e.SetCacheRoot(root);
    e.SetSystemName(savedName);
    e.ResumeFromCache();
  } else {
    char text[2048];
    std::snprintf(text, sizeof text,
                  "Could not find scene's cache directory at:\n\n   Cache's directory: %s\n   "
                  "Cache's name: %s\n\nVorel will solve scene from scratch.\nIf you know where "
                  "cache is, copy it to default Vorel path\n ( \"%s\"  as it appear in Vorel.ini "
                  "file)\n or copy it to the same directory where .max scene file is, and then "
                  "reload scene.",
                  savedRoot.c_str(), savedName.c_str(), e.cacheRoot.c_str());
    MessageBoxA(GetActiveWindow(), text, "Vorel Warning!", MB_OKCANCEL);
    // Starting over in a folder of its own: the one under the constructor's
    // name may hold another scene's cache, never to be emptied here.
    if (claimedFolder_ != e.solver->frameCache.SystemFolder()) ClaimDefaultName("", number_);
    e.Reset();
  }
  e.SetCacheRoot(e.cacheRoot);
  e.SetSystemName(e.systemName);
}
