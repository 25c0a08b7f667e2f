// The cache baker object: class descriptor, parameter block, cache reader
// and the replay of one cached frame.
#include "wrapper_baker/vorbaker/baker_node.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "gpu_solver/solver_formats.h"
#include "host/core/files.h"
#include "host/core/interaction.h"
#include "host/ui/custctrl.h"
#include "host/ui/parammap.h"
#include "host/ui/pick.h"
#include "host/ui/window.h"

namespace vorbaker {

namespace {

constexpr float kInitialDensity = 1.0f / (12.0f * 12.0f * 12.0f);
// The fixed scale of the main plug-in's frame files: host units x 20.
constexpr float kFileUnitsPerHostUnit = 20.0f;
// The GPU solver program's frames: their tag, where their arrays start
// (16-byte header and a 256-byte block) and the bytes per particle (id,
// position, velocity).
constexpr uint32_t kGpuFrameTag = vorel_gpu::kSolverFrameTag;
constexpr int64_t kGpuFrameArrays = vorel_gpu::kFrameHeaderBytes;
constexpr int64_t kGpuBytesPerParticle = 28;

bool creationFlag = false;
const char kInstanceTag = 0;

blob_skeleton::BlobClassDesc<BlobNode>& Desc() {
  static blob_skeleton::BlobClassDesc<BlobNode> d("VorBaker", VORBAKER_CLASS_ID(), creationFlag, PluginInstance());
  return d;
}

ParamBlockDesc2& BlockDesc() {
  static ParamBlockDesc2 d(
      0, "params", 0, &Desc(), P_AUTO_CONSTRUCT | P_AUTO_UI, 0, {RolloutDef{0, kDialog, 0, 0, nullptr}},
      {ParamDef(kDisable, "Disable", TYPE_BOOL, P_ANIMATABLE).Default(0).CheckBox(0, 1091),
       ParamDef(kHideInViewports, "HideInViewports", TYPE_BOOL, P_ANIMATABLE).Default(0).CheckBox(0, 1092),
       ParamDef(kCachePath, "Cache path", TYPE_STRING, 0).Default("").EditBox(0, kCachePathEdit),
       ParamDef(kTimeOffset, "TimeOffset", TYPE_INT, P_ANIMATABLE).Default(0).Range(-1000, 1000)
           .Spinner(0, EDITTYPE_INT, 1492, 1498, 1.0f),
       ParamDef(kPlaybackSpeed, "PlaybackSpeed", TYPE_FLOAT, P_ANIMATABLE).Default(100.0f)
           .Range(-1000.0f, 1000.0f).Spinner(0, EDITTYPE_FLOAT, 1490, 1496, 1.0f),
       ParamDef(kGenerateSurface, "GenerateSurface", TYPE_BOOL, P_ANIMATABLE).Default(0).CheckBox(0, 1093),
       ParamDef(kSurfaceLOD, "Surface LOD", TYPE_FLOAT, P_ANIMATABLE).Default(8.0f).Range(0.0f, 250.0f)
           .Spinner(0, EDITTYPE_FLOAT, 1011, 1012, 0.1f),
       ParamDef(kDropSize, "Drop Size", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f).Range(0.1f, 250.0f)
           .Spinner(0, EDITTYPE_FLOAT, 1491, 1497, 0.1f),
       ParamDef(kMeltingForce, "Melting Force", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f).Range(1.0f, 250.0f)
           .Spinner(0, EDITTYPE_FLOAT, 1493, 1499, 0.1f),
       ParamDef(kShrinkWrap, "Shrink Wrap", TYPE_FLOAT, P_ANIMATABLE).Default(0.66f).Range(0.0f, 1.0f)
           .Spinner(0, EDITTYPE_FLOAT, 1494, 1500, 0.01f)});
  return d;
}

class BakerDlgProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND dlg, UINT msg, WPARAM wParam, LPARAM) override {
    IParamBlock2* pb = map ? map->GetParamBlock() : nullptr;
    auto* obj = pb ? dynamic_cast<BlobNode*>(pb->GetOwner()) : nullptr;
    if (!obj) return FALSE;
    if (msg == WM_COMMAND && LOWORD(wParam) == kBrowseButton) {
      char dir[MAX_PATH] = {0};
      const char* now = pb->GetStr(kCachePath, t);
      std::snprintf(dir, sizeof dir, "%s", now ? now : "");
      Interface* ip = obj->EditInterface() ? obj->EditInterface() : GetCOREInterface();
      ip->ChooseDirectory(dlg, "Select cache directory.", dir);
      if (dir[0]) pb->SetValue(kCachePath, t, dir);
      return TRUE;
    }
    return msg == WM_INITDIALOG ? TRUE : FALSE;
  }
};

struct Registration {
  Registration() {
    BlockDesc();
    RegisterDialogs();
  }
} registration;

bool Finite(float v) { return std::isfinite(v); }

}  // namespace

ClassDesc2* GetBlobNodeDesc() { return &Desc(); }
ParamBlockDesc2* GetBlobNodeBlockDesc() { return &BlockDesc(); }
HINSTANCE PluginInstance() { return reinterpret_cast<HINSTANCE>(const_cast<char*>(&kInstanceTag)); }
ParamMap2UserDlgProc* BlobNodeDlgProc() {
  static BakerDlgProc p;
  return &p;
}
bool& BlobNode::CreationFlag() { return creationFlag; }

void RegisterDialogs() {
  using vorel_ui::ControlTemplate;
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate d;
  d.id = kDialog;
  d.title = "VorBaker";
  d.controls = {{1091, Kind::CheckBox, "Disable"},
                {1092, Kind::CheckBox, "Hide in viewports"},
                {kCachePathEdit, Kind::CustEdit, ""},
                {kBrowseButton, Kind::CustButton, "..."},
                {1093, Kind::CheckBox, "Generate surface"},
                {kFacesText, Kind::Static, ""},
                {kVerticesText, Kind::Static, ""}};
  for (auto [edit, spin] : {std::pair{1492, 1498}, {1490, 1496}, {1011, 1012}, {1491, 1497}, {1493, 1499}, {1494, 1500}}) {
    d.controls.push_back({edit, Kind::CustEdit, ""});
    d.controls.push_back({spin, Kind::Spinner, ""});
  }
  vorel_ui::RegisterDialogTemplate(PluginInstance(), d);
}

// ---- cache reader ----

std::string BakerCacheReader::ParticleFolder() const {
  if (!explicitFolder.empty()) return explicitFolder;
  return cacheRoot + "/Vorel/" + systemName + "/";
}

std::string BakerCacheReader::SurfaceFolder() const { return ParticleFolder() + "surface/"; }

namespace {
FrameCache CacheAt(const BakerCacheReader& r) {
  FrameCache c;
  // The fluid system's frames carry its solver's tag, not a bare cache's:
  // with the bare tag every frame of a real cache reads as foreign.
  c.frameTag = FluidSolver::kFrameTag;
  c.folderOverride = vorel::host::NormalizePath(r.ParticleFolder());
  return c;
}
}  // namespace

bool BakerCacheReader::ReadFrameHeader(int frame, int32_t& stamp, int32_t& count, float& ppuv) const {
  const FrameCache c = CacheAt(*this);
  if (!vorel::host::FileExists(c.FramePath(frame))) return false;
  ParticleFrameHeader h;
  if (!c.ReadHeader(frame, h)) return false;
  stamp = h.stamp;
  count = h.count;
  ppuv = h.particlesPerVolume;
  return true;
}

namespace {
// A position a solver frame can hold.
bool InWorld(const Point3& p) {
  auto in = [](float c) { return Finite(c) && !BeyondSolverWorld(c); };
  return in(p.x) && in(p.y) && in(p.z);
}
}  // namespace

int BakerCacheReader::ReadFramePositions(int frame, std::vector<Point3>& positions) const {
  positions.clear();
  std::vector<FluidParticle> records;
  const FrameCache cache = CacheAt(*this);
  const int n = cache.ReadFrame(frame, records, 1.0f);
  if (n < 0) return -1;
  // The reader divides by the cache's frame scale; the baker always reads
  // the files at the fixed scale instead.
  const float k = cache.Scale() / kFileUnitsPerHostUnit;
  positions.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    const Vec3f& p = records[size_t(i)].pos;
    positions.push_back(Point3(p.x * k, p.y * k, p.z * k));
    if (!InWorld(positions.back())) {
      positions.clear();
      return -1;
    }
  }
  return n;
}

FrameRead BakerCacheReader::ReadGpuFrame(int frame, std::vector<Point3>& positions, float& ppuv) const {
  positions.clear();
  const std::string path = CacheAt(*this).FramePath(frame);
  std::FILE* f = vorel::host::OpenFile(path, "rb");
  if (!f) return FrameRead::kNone;
  uint32_t head[4] = {0, 0, 0, 0};
  const bool read = std::fread(head, 4, 4, f) == 4;
  int32_t n = 0;
  float density = 0.0f;
  std::memcpy(&n, &head[2], 4);
  std::memcpy(&density, &head[3], 4);
  const int64_t size = vorel::host::FileSize(path);
  bool ok = read && head[0] == kGpuFrameTag && n >= 0 &&
            size == kGpuFrameArrays + kGpuBytesPerParticle * int64_t(n) &&
            std::fseek(f, long(kGpuFrameArrays + 4 * int64_t(n)), SEEK_SET) == 0;
  std::vector<float> xyz;
  if (ok) {
    xyz.resize(size_t(n) * 3);
    ok = n == 0 || std::fread(xyz.data(), 12, size_t(n), f) == size_t(n);
  }
  std::fclose(f);
  if (!ok) return FrameRead::kNone;
  if (!UsableParticlesPerVolume(density)) return FrameRead::kDamaged;
  // The solver's frames hold solver units; the surface is built in host
  // units, converted as the GPU front-end converts them for its own surface.
  constexpr float k = vorel_gpu::kHostUnitsPerSolverUnit;
  positions.reserve(size_t(n));
  for (size_t i = 0; i < size_t(n); ++i) {
    const Point3 p(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
    if (!InWorld(p)) {
      positions.clear();
      return FrameRead::kDamaged;
    }
    positions.push_back(p * k);
  }
  const float spacing = vorel_gpu::HostParticleSpacing(density);
  ppuv = 1.0f / (spacing * spacing * spacing);
  return FrameRead::kOk;
}

MeshFileStatus BakerCacheReader::ReadSurfaceFrame(int frame) {
  char name[32];
  std::snprintf(name, sizeof name, "m%05d.bin", frame);
  const std::string path = vorel::host::NormalizePath(SurfaceFolder() + name);
  return ReadMeshFrameFile(path, surface);
}

int ReplayFrame(TimeValue t, int tpf, int offsetFrames, float speedPercent, bool* beforeStart) {
  if (tpf <= 0) tpf = 160;
  const double f = double(t / tpf - offsetFrames) * double(speedPercent) / 100.0;
  if (beforeStart) *beforeStart = f < 0.0;
  if (!(f > 0.0)) return 0;
  return f >= 2.0e9 ? 2000000000 : int(f);
}

// ---- object ----

BlobNode::BlobNode(bool loading) : builder_(new SurfaceBuilder(kInitialDensity)) {
  (void)loading;
  builder_->groupJoin = kGroupJoinWrapper;
  Desc().MakeAutoParamBlocks(this);
}

BlobNode::~BlobNode() = default;

void BlobNode::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  ip_ = ip;
  BlockDesc().SetUserDlgProc(0, BlobNodeDlgProc());
  Desc().BeginEditParams(ip, this, flags, prev);
}

void BlobNode::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  Desc().EndEditParams(ip, this, flags, next);
  ip_ = nullptr;
}

RefResult BlobNode::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) {
  if (message == REFMSG_CHANGE && hTarget == pblock) lastBuiltFrame_ = -1;
  return BlobSkeleton::NotifyRefChanged(changeInt, hTarget, partID, message);
}

ReferenceTarget* BlobNode::Clone(RemapDir& remap) { return CloneInto(new BlobNode(false), remap); }

// One detail for viewport and render builds.
ParamID BlobNode::DetailParam(bool) { return kSurfaceLOD; }

void BlobNode::SetStatusText(int control, const char* fmt, int value) {
  IParamMap2* m = pblock ? pblock->GetMap(0) : nullptr;
  HWND h = m ? m->GetHWnd() : nullptr;
  if (!h) return;
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, value);
  SetDlgItemText(h, control, buf);
}

void BlobNode::UpdateFromCache(TimeValue t, Mesh& out, float detail, bool viewport) {
  (void)detail;  // the baker meshes with its own "Surface LOD"
  if (!pblock) return;
  Interval iv = FOREVER;
  int disable = 0, hide = 0, offset = 0, generate = 0;
  float speed = 100.0f;
  pblock->GetValue(kDisable, t, disable, iv);
  pblock->GetValue(kHideInViewports, t, hide, iv);
  const char* path = pblock->GetStr(kCachePath, t);
  if (!path || !path[0]) return;
  reader_.explicitFolder = std::string(path) + "/";
  pblock->GetValue(kTimeOffset, t, offset, iv);
  pblock->GetValue(kPlaybackSpeed, t, speed, iv);
  bool beforeStart = false;
  const int frame = ReplayFrame(t, GetCOREInterface()->GetTicksPerFrame(), offset, speed, &beforeStart);
  if (viewport && frame == lastBuiltFrame_) return;
  std::string notice;
  if (beforeStart && !disable) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "VorBaker: playback speed %g%% and offset %d land before the cache's first frame; frame 0 is shown",
                  double(speed), offset);
    notice = text;
  }

  if (disable || (viewport && hide)) {
    blob_skeleton::EmptyMesh(out);
  } else if (pblock->GetValue(kGenerateSurface, t, generate, iv) && generate) {
    try {
      int32_t stamp = 0, count = 0;
      float ppuv = kDefaultParticlesPerVolume;
      std::vector<Point3> positions;
      FrameRead read = FrameRead::kNone;
      if (reader_.ReadFrameHeader(frame, stamp, count, ppuv)) {
        // A whole frame of a fluid system whose values no solver writes
        // would be meshed as a wrong surface, or as none without a word.
        read = UsableParticlesPerVolume(ppuv) && reader_.ReadFramePositions(frame, positions) >= 0
                   ? FrameRead::kOk
                   : FrameRead::kDamaged;
      } else {
        read = reader_.ReadGpuFrame(frame, positions, ppuv);
      }
      if (read != FrameRead::kOk) {
        positions.clear();
        ppuv = kDefaultParticlesPerVolume;
      }
      if (read == FrameRead::kDamaged && notice.empty()) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "VorBaker: frame %d is damaged (a particle out of any scene, or no particle density); "
                      "nothing shown",
                      frame);
        notice = text;
      } else if (read == FrameRead::kNone && vorel::host::FileExists(CacheAt(reader_).FramePath(frame)) &&
                 notice.empty()) {
        char text[160];
        std::snprintf(text, sizeof text, "VorBaker: frame %d is no particle frame of a fluid system; nothing shown",
                      frame);
        notice = text;
      }
      float lod = 8.0f, melting = 4.0f, drop = 4.0f, shrink = 0.66f;
      pblock->GetValue(kSurfaceLOD, t, lod, iv);
      pblock->GetValue(kMeltingForce, t, melting, iv);
      pblock->GetValue(kDropSize, t, drop, iv);
      pblock->GetValue(kShrinkWrap, t, shrink, iv);
      SurfaceBuilder& b = *builder_;
      b.SetDensity(ppuv, 1);
      // Grid cells as wide as the particles' reach at this frame's settings.
      b.BeginParticles(int32_t(positions.size()), drop / 10.0f * melting);
      for (const Point3& p : positions) {
        const uint8_t skip = (p.x == 0.0f && p.y == 0.0f && p.z == 0.0f) ? 1 : 0;
        b.AddParticle(p, skip, 1.0f, 0);
      }
      b.Build(3.0f / (lod + 1.0f), melting, drop / 10.0f, shrink, 0, 2000);
      blob_skeleton::CopyOutMesh(b.mesh, out, blob_skeleton::InverseNodeTM(this, t));
      SetStatusText(kFacesText, "Number of Faces: %d", b.mesh.FaceCount());
      SetStatusText(kVerticesText, "Number of Vertices: %d", b.mesh.VertexCount());
    } catch (const std::bad_alloc&) {
      blob_skeleton::EmptyMesh(out);
      char text[160];
      std::snprintf(text, sizeof text, "VorBaker: out of memory meshing frame %d; nothing shown", frame);
      notice = text;
    }
  } else if (const MeshFileStatus status = reader_.ReadSurfaceFrame(frame);
             status != MeshFileStatus::Ok || reader_.surface.vertices.empty()) {
    // A frame without a stored mesh shows nothing rather than the last one;
    // one whose file is there but refused says why.
    blob_skeleton::EmptyMesh(out);
    if (status != MeshFileStatus::Ok && status != MeshFileStatus::Missing && notice.empty()) {
      char text[200];
      std::snprintf(text, sizeof text, "VorBaker: the stored surface of frame %d is damaged (%s); nothing shown",
                    frame, MeshFileStatusText(status));
      notice = text;
    }
  } else {
    const MeshFrameData& s = reader_.surface;
    // Stored meshes stay in world space like generated ones.
    const Matrix3 toObject = blob_skeleton::InverseNodeTM(this, t);
    const int nv = int(s.vertices.size()), nf = int(s.faces.size());
    out.setNumVerts(nv);
    out.setNumTVerts(nv);
    for (int v = 0; v < nv; ++v) {
      out.setVert(v, s.vertices[size_t(v)] * toObject);
      const Point2 uv = size_t(v) < s.mapPoints.size() ? s.mapPoints[size_t(v)] : Point2(0.0f, 0.0f);
      out.setTVert(v, uv.x, uv.y, 0.0f);
    }
    out.setNumFaces(nf);
    out.setNumTVFaces(nf);
    for (int f = 0; f < nf; ++f) {
      const MeshFace& tri = s.faces[size_t(f)];
      out.faces[size_t(f)].setVerts(tri[0], tri[1], tri[2]);
      out.faces[size_t(f)].setEdgeVisFlags(1, 1, 1);
      out.tvFace[size_t(f)].setTVerts(tri[0], tri[1], tri[2]);
    }
    out.setSmoothFlags(1);
    out.AutoSmooth(9996.28f, FALSE, FALSE);
    out.InvalidateGeomCache();
    out.InvalidateTopologyCache();
    out.buildBoundingBox();
  }
  if (notice != lastNotice_ && !notice.empty()) ShowTempPrompt(notice.c_str(), 6000);
  lastNotice_ = notice;
  // Only the viewport mesh is kept between builds; a render build at the
  // same frame must not make the viewport skip its own rebuild.
  if (viewport) lastBuiltFrame_ = frame;
}

}  // namespace vorbaker
