// The engine's cache-directory operations: moving the cache to a new root,
// reloading it from disk, refreshing after a load, resuming at the last frame
// on disk, and packing the whole cache into one file and back.
#include <algorithm>
#include <cstdio>
#include <string>

#include "fluid_core/cache_folders.h"
#include "fluid_core/engine.h"
#include "fluid_core/packed_cache.h"
#include "host/core/files.h"
#include "host/core/interaction.h"
#include "mesher/mesh_record.h"

namespace {
constexpr int kScaleParam = 27;  // "Scale" of the fluid system's block
constexpr uint32_t kMovedPromptMs = 3000;
// A cache that goes back to an earlier frame is said as long as action
// results are.
constexpr uint32_t kResumePromptMs = 15000;

int Tpf() { return GetCOREInterface()->GetTicksPerFrame(); }
}  // namespace

bool FluidEngine::SetCacheDirectory(const std::string& oldFolder) {
  vorel::host::PushPrompt("Moving Vorel cache... wait");
  const CacheMoveResult r = MoveCacheFiles(oldFolder, solver->frameCache, lastSolved, lastMeshed);
  vorel::host::PopPrompt();
  if (r.failed > 0) {
    char text[1024];
    std::snprintf(text, sizeof text, "Vorel-> The cache could not be copied (%s); it stays in %s",
                  r.failure.c_str(), oldFolder.c_str());
    ShowTempPrompt(text, kMovedPromptMs);
    return false;
  }
  ShowTempPrompt("Cache successfully set. Save your scene.", kMovedPromptMs);
  return true;
}

void FluidEngine::ReloadCache() {
  Reset();
  solver->frameCache.Scan(*solver, frameParticleCount, lastSolved, frameMeshed, lastMeshed,
                          kMaxFrames);
  solverClock = double(Tpf()) * lastSolved / 4800.0;
  RefreshAfterLoad();
}

void FluidEngine::RefreshAfterLoad() {
  IParamBlock2* pb = owner ? owner->SystemParamBlock() : nullptr;
  const float scale = ReadFloatParam(pb, kScaleParam, GetCOREInterface()->GetTime(), 1.0f);
  solver->frameCache.SetScale(20.0f * scale);
  // What is written from now on belongs to the cache on disk and carries its
  // stamp (frame 0's, else frame 1's), not one the engine made up.
  ParticleFrameHeader h;
  if (solver->frameCache.ReadHeader(0, h) || solver->frameCache.ReadHeader(1, h)) solver->stamp = h.stamp;
  // Frames found on disk without a scene's word on their scale are taken
  // at the scale they are read with.
  if (!(cacheScale > 0.0f)) cacheScale = FrameScale();
  // Nothing solved: there is no frame to reload (and no count to index).
  // A last frame the reader refuses would leave the solver on no particle
  // at all, and a GO! would go on from there: the cache goes back instead.
  if (lastSolved >= 0 && lastSolved < kMaxFrames &&
      !solver->ReloadFrame(lastSolved, frameParticleCount[size_t(lastSolved)]))
    ResumeFromCache();
  // Frame 0's surface is built only when the cache lacks its own: a load
  // must not rewrite a cache file.
  int32_t meshStamp = 0;
  if (lastSolved >= 0 &&
      !(ReadMeshFrameStamp(solver->frameCache.MeshPath(0), meshStamp) && meshStamp == solver->stamp))
    BuildSurfaceFrame(0);
  ComputeSurfaceCacheSize();
  EstimateParticleCacheSize();
  if (owner && owner->CacheRollout()) ShowStatistics(owner->CacheRollout());
}

void FluidEngine::ResumeFromCache() {
  const int start = std::min<int>(lastSolved, kMaxFrames - 1);
  if (start < 0) return;
  int found = LastFrameOnDisk(solver->frameCache, start);
  // A frame may change between the check and the read: each read refused
  // walks on back.
  while (found >= 0 && found < start && !RestartFromFrame(found))
    found = LastFrameOnDisk(solver->frameCache, found - 1);
  // Frames gone from the disk were taken away by someone; a frame that is
  // there but refused is said.
  int refused = -1;
  for (int i = start; i > found && refused < 0; --i)
    if (vorel::host::FileExists(solver->frameCache.FramePath(i))) refused = i;
  char text[512];
  if (found < 0) {
    lastSolved = -1;
    lastMeshed = -1;
    // Nothing of the refused frames may be gone on from.
    solver->count = 0;
    solver->RecordsChanged();
    if (refused < 0) return;
    std::snprintf(text, sizeof text,
                  "Vorel-> No frame of the cache in %s can be read; the solve starts from the beginning.",
                  solver->frameCache.SystemFolder().c_str());
    ShowTempPrompt(text, kResumePromptMs);
    return;
  }
  if (refused >= 0) {
    std::snprintf(text, sizeof text,
                  "Vorel-> Frame %d of the cache cannot be read (%s); the solve goes on from frame %d, "
                  "the last one that reads whole.",
                  refused, solver->frameCache.FramePath(refused).c_str(), found);
    ShowTempPrompt(text, kResumePromptMs);
  }
}

int FluidEngine::CountMeshedFrames() const {
  int n = 0;
  for (uint8_t f : frameMeshed) n += f ? 1 : 0;
  return n;
}

bool FluidEngine::PackCache(const std::string& path) {
  return solver->frameCache.Pack(path, lastSolved, lastMeshed);
}

bool FluidEngine::UnpackCache(const std::string& path, PackedCacheStatus* status, std::string* failure) {
  // The whole file is checked, then unpacked beside the cache; only a whole
  // new cache resets the engine and takes the old one's place.
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  PackedCacheIndex index;
  PackedCacheStatus s = ReadPackedCacheIndex(path, index);
  UnpackedCache u;
  std::string aside;
  if (s == PackedCacheStatus::kOk) s = UnpackBeside(path, index, solver->frameCache, u, aside);
  if (status) *status = s;
  if (s != PackedCacheStatus::kOk) {
    if (failure)
      *failure = (s == PackedCacheStatus::kCannotWrite || s == PackedCacheStatus::kDamagedEntry)
                     ? u.failure
                     : PackedCacheStatusText(s);
    return false;
  }
  if (!ResetAndSwapIn(aside, failure)) {
    if (status) *status = PackedCacheStatus::kCannotWrite;
    return false;
  }
  for (size_t i = 0; i < u.frameParticleCount.size(); ++i) frameParticleCount[i] = u.frameParticleCount[i];
  for (size_t j = 0; j < u.frameMeshed.size(); ++j) frameMeshed[j] = u.frameMeshed[j];
  lastSolved = u.lastSolved;
  lastMeshed = u.lastMeshed;
  if (lastSolved >= 0) solverClock = double(Tpf()) * lastSolved / 4800.0;
  if (u.haveStamp) solver->stamp = u.stamp;
  if (u.haveDensity) solver->SetParticleDensity(u.particlesPerVolume);
  RefreshAfterLoad();
  GetCOREInterface()->RedrawViews(0);
  return true;
}

bool FluidEngine::LoadCacheFolder(const std::string& folder, std::string* failure) {
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  std::string aside, why;
  if (!CopyBeside(folder, solver->frameCache, aside, why)) {
    if (failure) *failure = why;
    return false;
  }
  if (!ResetAndSwapIn(aside, failure)) return false;
  ReloadCache();
  return true;
}

bool FluidEngine::ResetAndSwapIn(const std::string& aside, std::string* failure) {
  // The reset checks the frames of the cache it will no longer use.
  Reset();
  std::string why;
  if (SwapInUnpacked(solver->frameCache, aside, why)) return true;
  if (failure) *failure = why;
  ReloadCache();  // the old cache, still in place
  return false;
}
