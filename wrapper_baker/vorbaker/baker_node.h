// VorBaker, the cache baker: a geometric object that replays a cache folder
// of the main fluid plug-in, either meshing each cached particle frame or
// showing the surface mesh stored for that frame.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/sdk/max.h"
#include "mesher/surface_builder.h"
#include "wrapper_baker/skeleton/blob_skeleton.h"

class ParamMap2UserDlgProc;

namespace vorbaker {

inline Class_ID VORBAKER_CLASS_ID() { return Class_ID(0x705F2D30, 0x34B26DFA); }

// Parameter ids of the block "params".
enum : ParamID {
  kDisable = 0,
  kHideInViewports = 1,
  kCachePath = 2,
  kTimeOffset = 3,
  kPlaybackSpeed = 4,
  kGenerateSurface = 5,
  kSurfaceLOD = 6,
  kDropSize = 7,
  kMeltingForce = 8,
  kShrinkWrap = 9,
};

enum : int {
  kDialog = 101,
  kFacesText = 1008,
  kVerticesText = 1009,
  kCachePathEdit = 3077,
  kBrowseButton = 3079,
};

// The particles per unit volume the builder is set to for a frame with
// nothing to mesh (drop size 1/12).
constexpr float kDefaultParticlesPerVolume = 12.0f;

// What a frame file held for meshing: no particle frame (missing, or of
// neither kind), a whole frame with a density or a position that no solver
// writes (fluid_core/frame_cache.h), or particles to mesh.
enum class FrameRead { kNone, kDamaged, kOk };

// Where the replayed cache lies and how its frames are read.
class BakerCacheReader {
 public:
  std::string explicitFolder;         // the "Cache path" value followed by "/"
  std::string cacheRoot = "c:\\temp";
  std::string systemName;

  // The explicit folder when set, else <root>/Vorel/<name>/.
  std::string ParticleFolder() const;
  std::string SurfaceFolder() const;  // ParticleFolder() + "surface/"

  // The first four header fields of frame's particle file; false when the
  // file does not exist or is not a whole frame of a fluid system (the tag
  // its solver writes, the length its count gives).
  bool ReadFrameHeader(int frame, int32_t& stamp, int32_t& count, float& particlesPerVolume) const;
  // The frame's particle positions in solver units at the fixed scale (the
  // file's host-unit values over 20). Answers the count, or -1, positions
  // empty, when the file is missing or refused (the frame reader's checks,
  // or a position beyond kMaxSolverCoordinate).
  int ReadFramePositions(int frame, std::vector<Point3>& positions) const;
  // A frame of the GPU solver program (its own tag and layout; positions
  // already in solver units): positions and particles per volume. Positions
  // are empty unless the frame is read whole and usable; particlesPerVolume
  // is set only then.
  FrameRead ReadGpuFrame(int frame, std::vector<Point3>& positions, float& particlesPerVolume) const;
  // Reads the frame's surface mesh (vertices, texture pairs, triangles) into
  // surface; on any status but Ok surface is empty (the mesh file checks:
  // counts, markers, face indices, finite values).
  MeshFileStatus ReadSurfaceFrame(int frame);

  MeshFrameData surface;
};

// The frame a time replays: (t / tpf - offset) x speed / 100, truncated, at
// least 0. beforeStart, when given, tells whether the time lands before
// frame 0 (so frame 0 stands in for it).
int ReplayFrame(TimeValue t, int ticksPerFrame, int offsetFrames, float speedPercent, bool* beforeStart = nullptr);

class BlobNode : public blob_skeleton::BlobSkeleton {
 public:
  explicit BlobNode(bool loading = false);
  ~BlobNode() override;

  void GetClassName(std::string& s) override { s = "VorBaker"; }
  Class_ID ClassID() override { return VORBAKER_CLASS_ID(); }
  const char* GetObjectName() override { return "VorBaker"; }
  void InitNodeName(std::string& s) override { s = "VorBaker_"; }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  ParamID DetailParam(bool viewport) override;
  void UpdateMesh(TimeValue t, Mesh& mesh, float detail, bool viewport) override {
    UpdateFromCache(t, mesh, detail, viewport);
  }

  bool& CreationFlag() override;
  const blob_skeleton::IconTables& Icon() override { return blob_skeleton::BakerIcon(); }

  // Builds the frame that t replays into mesh. An empty cache path leaves
  // mesh as it is; a viewport build of the frame the viewport already shows
  // does nothing. A frame whose file is missing or refused gives an empty
  // mesh; the prompt says why when the file is there but cannot be meshed
  // or shown (a damaged particle frame or stored surface), and when the
  // time lands before the cache's first frame. Generated surfaces come from
  // the fluid system's frames or the GPU solver's.
  void UpdateFromCache(TimeValue t, Mesh& mesh, float detail, bool viewport);

  int LastBuiltFrame() const { return lastBuiltFrame_; }
  SurfaceBuilder& Builder() { return *builder_; }
  BakerCacheReader& Reader() { return reader_; }
  Interface* EditInterface() const { return ip_; }

 private:
  void SetStatusText(int control, const char* fmt, int value);

  std::unique_ptr<SurfaceBuilder> builder_;
  BakerCacheReader reader_;
  // The frame the viewport mesh shows; -1 after any parameter change.
  int lastBuiltFrame_ = -1;
  // What the prompt said last, so a frame's reason is said once.
  std::string lastNotice_;
  Interface* ip_ = nullptr;
};

ClassDesc2* GetBlobNodeDesc();
ParamBlockDesc2* GetBlobNodeBlockDesc();
HINSTANCE PluginInstance();
void RegisterDialogs();
ParamMap2UserDlgProc* BlobNodeDlgProc();

}  // namespace vorbaker
