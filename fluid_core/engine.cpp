// FluidEngine: construction, destruction, reset with the cache check, the
// solve log and the small shared helpers.
#include "fluid_core/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fluid_core/cache_folders.h"
#include "fluid_core/frame_cache.h"
#include "fluid_core/host_link.h"
#include "host/core/clock.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"

uint8_t EngineReadyFlag = 0;
uint8_t SolveStopFlag = 0;
uint8_t SourcesNeedRefresh = 0;

namespace {
ObjectParamsAccess* g_objectParams = nullptr;
}  // namespace

void SetObjectParamsAccess(ObjectParamsAccess* access) { g_objectParams = access; }
ObjectParamsAccess* GetObjectParamsAccess() { return g_objectParams; }

FluidSource* AsFluidSource(Animatable* object) {
  if (!object) return nullptr;
  return static_cast<FluidSource*>(object->GetInterface(I_FLUIDSOURCE));
}

bool IsSystemNodeName(const char* name) { return name && std::strncmp(name, "Vorel", 5) == 0; }

float ReadFloatParam(IParamBlock2* pb, int id, TimeValue t, float fallback) {
  if (!pb) return fallback;
  Interval valid;
  float f = fallback;
  if (pb->GetValue(ParamID(id), t, f, valid)) return f;
  int i = 0;
  if (pb->GetValue(ParamID(id), t, i, valid)) return float(i);
  return fallback;
}

int ReadIntParam(IParamBlock2* pb, int id, TimeValue t, int fallback) {
  if (!pb) return fallback;
  Interval valid;
  int i = fallback;
  if (pb->GetValue(ParamID(id), t, i, valid)) return i;
  float f = 0.0f;
  if (pb->GetValue(ParamID(id), t, f, valid)) return int(f);
  return fallback;
}

void ReleaseTriObject(Object* evaluated, TriObject* converted) {
  if (converted && static_cast<Object*>(converted) != evaluated) converted->DeleteThis();
}

ScopedSeconds::ScopedSeconds(double& sink) : sink_(sink), start_(std::chrono::steady_clock::now()) {}
ScopedSeconds::~ScopedSeconds() {
  sink_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

// ---------------------------------------------------------------------------

FluidEngine::FluidEngine()
    : sourceNodes(kMaxSources, nullptr),
      sourceObjects(kMaxSources, nullptr),
      frameMeshed(kMaxFrames, 0),
      frameParticleCount(kMaxFrames, 0),
      frameClipBox(kMaxFrames),
      meshBytesCounted_(kMaxFrames, 0) {
  readPluginIni(defaults, tempDir);
  std::string root = tempDir;
  if (defaults.useScenePath != 0) {
    const std::string folder = SceneFolder(GetCOREInterface()->GetCurFilePath());
    if (!folder.empty()) root = folder;
  }
  cacheRoot = vorel::host::NormalizePath(root);
  while (cacheRoot.size() > 1 && cacheRoot.back() == '/') cacheRoot.pop_back();
  CreateDirectoryA((cacheRoot + "/Vorel").c_str(), nullptr);  // may exist: ignored
  systemName.clear();
  lastMeshed = lastSolved = lastEvalFrame = lastEvalTime = -1;
  Interface* ip = GetCOREInterface();
  const int T = ip->GetTicksPerFrame();
  startFrame = ip->GetAnimRange().Start() / T;
  gravity = 40.0f;
  sourceCount = 0;
  newSourcePlacement = Point3(0.0f, 0.75f * kDefaultFrameScale, 1.6f * kDefaultFrameScale);
  newSourceAngle = 2.3561945f;
  // The solver takes gravity per step; its constructor needs only the
  // density, the rest density and the frame length.
  solver = new FluidSolver(50.0, 1000.0f, float(T / 4800.0));
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  isHoldingTime = false;
  Reset();
}

FluidEngine::~FluidEngine() {
  delete solver;
  solver = nullptr;
  FreeWetMaps();
  savedWetMapNames.clear();
}

float FluidEngine::FrameScale() const { return solver->frameCache.Scale(); }
float FluidEngine::InvFrameScale() const { return solver->frameCache.InvScale(); }

void FluidEngine::SetCacheRoot(const std::string& root) {
  cacheRoot = root;
  if (solver) solver->frameCache.cacheRoot = root;
}

void FluidEngine::SetSystemName(const std::string& name) {
  systemName = name;
  if (solver) solver->frameCache.systemName = name;
}

bool FluidEngine::SlotUsable(int i) const {
  return i >= 0 && i < kMaxSources && sourceNodes[i] && sourceObjects[i];
}

IParamBlock2* FluidEngine::SourceBlock(int i) const {
  return SlotUsable(i) ? sourceObjects[i]->SourceParamBlock() : nullptr;
}

void FluidEngine::ShowStatisticsIfOpen() {
  if (!owner) return;
  HWND dialog = owner->CacheRollout();
  if (dialog) ShowStatistics(dialog);
}

void FluidEngine::Reset() {
  // A host evaluation during the time change below must not solve on the
  // half-reset state.
  resetting_ = true;
  Interface* ip = GetCOREInterface();
  const int T = ip->GetTicksPerFrame();
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;

  if (!(owner && owner->JustLoaded())) startFrame = ip->GetAnimRange().Start() / T;
  ip->SetTime(startFrame * T, true);

  if (defaults.objectCollide != 0) AddDefaultObjectParams();
  RebuildWetMapList();

  const TimeValue now = ip->GetTime();
  minSourceLod = 1e33f;
  bool anyLod = false;
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    IParamBlock2* pb = sourceObjects[i] ? sourceObjects[i]->SourceParamBlock() : nullptr;
    if (!pb) continue;
    float lod = ReadFloatParam(pb, kEmitSourceLod, now, minSourceLod);
    if (!anyLod || lod < minSourceLod) minSourceLod = lod;
    anyLod = true;
  }
  // Without a usable source the solver would be set up for 1e99 particles
  // per unit volume (cells of 1e-33): a source added later would overflow
  // every cell index. The default density stands in until the next reset.
  if (!anyLod || !(minSourceLod > 0.0f) || !std::isfinite(minSourceLod)) minSourceLod = defaults.lod;
  const double n = double(minSourceLod) * minSourceLod * minSourceLod;
  solver->Setup(n, 1000.0f, float(T / 4800.0), true);
  colliderSources_.clear();  // the set-up freed the colliders they describe

  lastEvalTime = lastEvalFrame = lastSolved = lastMeshed = -1;
  solverClock = FrameTime(0);
  cacheScale = 0.0f;
  particleCacheBytes = surfaceCacheBytes = 0.0;
  std::fill(meshBytesCounted_.begin(), meshBytesCounted_.end(), 0);
  timeOffset = 0;

  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    if (!SlotUsable(i)) {
      solver->AddSource(Vec3f());
      continue;
    }
    Point3 p = sourceNodes[i]->GetObjectTM(now).GetTrans() * InvFrameScale();
    solver->AddSource(Vec3f(p.x, p.y, p.z));
    FluidSource* src = sourceObjects[i];
    if (ReadIntParam(src->SourceParamBlock(), kEmitEmissionType, now, 0) == 2 &&
        src->HasPickedObject()) {
      src->FillFromObject();
      src->fillPending = 1;
      if (ParticleObject* po = src->SourceParticles()) po->UpdateParticles(now, sourceNodes[i]);
      if (src->emissionType == 2) src->SetFillSpinnersEnabled(true);
    }
  }

  std::fill(frameMeshed.begin(), frameMeshed.end(), 0);
  std::fill(frameParticleCount.begin(), frameParticleCount.end(), 0);

  if (owner) {
    if (owner->JustLoaded()) {
      RestoreWetMaps();
      owner->ClearJustLoaded();
    }
    ShowStatisticsIfOpen();
    solver->stamp = CurrentSimulationStamp();
    ValidateCache();
  }
  ResizeWetMaps();
  if (!systemName.empty()) {
    // Emptied by an empty file renamed over it: a link planted at the name is
    // replaced, never followed (the appends refuse one).
    vorel::host::WriteFileAside(LogPath(), "", 0);
  }
  // Set for every engine, named or not: emitters of an unnamed system
  // would otherwise never see it ready.
  EngineReadyFlag = 1;
  resetting_ = false;
}

namespace {
// The header of a frame file whose body may be cut short: only the stamp
// is wanted, and a cut frame still tells which solve wrote it.
bool ReadStampedHeader(const FrameCache& cache, int frame, ParticleFrameHeader& h) {
  std::FILE* f = std::fopen(cache.FramePath(frame).c_str(), "rb");
  if (!f) return false;
  const bool read = std::fread(&h, sizeof h, 1, f) == 1;
  std::fclose(f);
  return read && h.tag == cache.frameTag;
}
}  // namespace

void FluidEngine::ValidateCache() {
  // Without a name there is no cache folder to check or write into.
  if (systemName.empty()) return;
  // Frame 0 must be whole; frame 1 only has to show its stamp: a frame 1
  // of another solve, even one cut short, means frame 0 is not this cache's.
  ParticleFrameHeader h0, h1;
  const bool has0 = solver->frameCache.ReadHeader(0, h0);
  const bool has1 = has0 && ReadStampedHeader(solver->frameCache, 1, h1);
  if (!has0 || (has1 && h1.stamp != h0.stamp)) SaveFrame(0);
}

// ---------------------------------------------------------------------------
// Solve log

std::string FluidEngine::LogPath() const {
  return solver->frameCache.SystemFolder() + "Vorel.log";
}

namespace {
std::string LocalClockText() {
  char text[16] = {};
  _strtime(text);
  return text;
}
const char kLogSeparator[] = "------------------------------------------\n";
// Notes of a solve stay on the prompt line as long as action results do.
constexpr unsigned kNotePromptMs = 15000;
void AppendLogLine(const std::string& path, const std::string& line) {
  std::FILE* f = vorel::host::OpenFile(path, "a+");
  if (!f) return;  // the solve goes on without its log
  std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
}
}  // namespace

void FluidEngine::LogStart() {
  notes_.clear();
  std::FILE* f = vorel::host::OpenFile(LogPath(), "a+");
  if (!f) return;  // the solve goes on without its log
  std::fprintf(f, "%sStarted at:\t %s\n", kLogSeparator, LocalClockText().c_str());
  std::fclose(f);
}

void FluidEngine::LogFailure(const std::string& text) { AppendLogLine(LogPath(), "Stopped:\t " + text); }

void FluidEngine::LogEnd(long long elapsedMs, int lastFrameOffset) {
  std::FILE* f = vorel::host::OpenFile(LogPath(), "a+");
  if (!f) return;
  const std::string now = LocalClockText();
  std::fprintf(f, "Ended at:\t %s\n", now.c_str());
  std::fprintf(f, "Elapsed time:\t %s\n", FormatElapsedMs(elapsedMs).c_str());
  std::fprintf(f, "Frames solved:\t %d\n", lastFrameOffset + 1);
  std::fputs(kLogSeparator, f);
  std::fclose(f);
}

bool FluidEngine::LogNote(const std::string& text, bool prompt, const std::string& key) {
  if (!notes_.insert(key.empty() ? text : key).second) return false;
  AppendLogLine(LogPath(), text);
  if (prompt) ShowTempPrompt(text.c_str(), kNotePromptMs);
  return true;
}
