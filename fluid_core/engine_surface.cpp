// FluidEngine: surface mesh files of stored frames and the render mesh of
// the particles the sources show.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

#include "fluid_core/engine.h"
#include "host/core/files.h"
#include "mesher/surface_builder.h"

namespace {
// The system's surface parameters at a time, as the mesher takes them.
struct SurfaceParams {
  float detail = 1.0f, melting = 4.0f, radius = 0.4f, shrink = 0.66f;
};
SurfaceParams ReadSurfaceParams(IParamBlock2* pb, TimeValue t) {
  const float lod = ReadFloatParam(pb, kFluidSurfaceLod, t, ProcessSurfaceDefaults.surfaceLod);
  const float drop = ReadFloatParam(pb, kFluidDropSize, t, ProcessSurfaceDefaults.dropSize);
  SurfaceParams s;
  s.melting = ReadFloatParam(pb, kFluidMeltingForce, t, ProcessSurfaceDefaults.meltingThreshold);
  s.shrink = ReadFloatParam(pb, kFluidShrinkWrap, t, ProcessSurfaceDefaults.shrinkWrap);
  s.detail = 3.0f / (lod + 1.0f);
  s.radius = drop / 10.0f;
  return s;
}
}  // namespace

bool FluidEngine::BuildSurfaceFrame(int n) {
  if (n < 0 || n >= kMaxFrames) return false;
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  // Frame n counted from host time 0 (not from the start frame).
  const TimeValue time = n * GetCOREInterface()->GetTicksPerFrame();
  IParamBlock2* pb = owner ? owner->SystemParamBlock() : nullptr;
  const float flick = ReadFloatParam(pb, kFluidFlickFilter, time, 0.0f);
  (void)flick;  // handed to the expiry marking, which does not use it
  const SurfaceParams sp = ReadSurfaceParams(pb, time);
  bool ok = false;
  int read = -1;
  try {
    SurfaceBuilder builder(float(solver->particlesPerVolume));
    // What the build takes of each particle: its position, source and age,
    // in room kept from frame to frame (megabytes taken fresh from the
    // system cost a page fault a page).
    std::vector<Vec3f>& pos = surfaceInputs_.positions;
    std::vector<int32_t>& sourceIndex = surfaceInputs_.sourceIndexes;
    std::vector<int32_t>& age = surfaceInputs_.ages;
    {
      ScopedSeconds timed(timings.frameReads);
      if (WrittenFrameOnDisk(n)) {
        // The frame this engine has just written and nobody has replaced:
        // its bytes give what a read of the file would.
        read = solver->frameCache.DecodeSurfaceInputs(written_.bytes, pos, sourceIndex, age, written_.accepted);
        ForgetWrittenFrame();
      } else {
        std::vector<FluidParticle> work(size_t(solver->frameCache.CountToRead(n, frameParticleCount[size_t(n)])));
        read = solver->frameCache.ReadFrame(n, work, 1.0f);
        pos.resize(size_t(std::max(read, 0)));
        sourceIndex.resize(pos.size());
        age.resize(pos.size());
        for (int i = 0; i < read; ++i) {
          pos[size_t(i)] = work[size_t(i)].pos;
          sourceIndex[size_t(i)] = work[size_t(i)].sourceIndex;
          age[size_t(i)] = work[size_t(i)].age;
        }
      }
    }
    if (read >= 0) {
      builder.BeginParticles(read, sp.melting * sp.radius);
      // Parked and expired particles sit at the parking position or are
      // gone: meshing them would put a blob at the origin.
      for (int i = 0; i < read; ++i) {
        const Vec3f& p = pos[size_t(i)];
        builder.AddParticle(Point3(p.x, p.y, p.z), solver->Expired(sourceIndex[size_t(i)], age[size_t(i)], p) ? 1 : 0,
                            1.0f, 0);
      }
      vertexSources.clear();
      ScopedSeconds timedBuild(timings.mesher);
      MeshRecord& mesh = builder.Build(sp.detail, sp.melting, sp.radius, sp.shrink, 0, 2000, &vertexSources);
      for (auto& list : vertexSources)
        for (VertexInfluence& e : list)
          if (e.particle >= 0 && e.particle < read) e.particle = sourceIndex[size_t(e.particle)];
      ScopedSeconds timedWrite(timings.meshWrites);
      vorel::host::MakeDirectories(solver->frameCache.SurfaceFolder());
      ok = mesh.WriteSurfaceCache(solver->frameCache.MeshPath(n), n, solver->stamp, nullptr,
                                  &surfaceInputs_.fileBytes);
      if (!ok) NoteCacheFailure(solver->frameCache.MeshPath(n), errno);
    } else {
      NoteCacheFailure(solver->frameCache.FramePath(n), 0);
    }
  } catch (const std::bad_alloc&) {
    // The frame stays solved and its mesh file as it was (none, or an
    // earlier one); what the build held is freed with it.
    VertexInfluenceLists().swap(vertexSources);
    surfaceInputs_ = SurfaceInputs();
    char text[160];
    std::snprintf(text, sizeof text, "out of memory meshing frame %d with %d particles", n,
                  read >= 0 ? read : frameParticleCount[size_t(n)]);
    solveFailure = text;
    ShowTempPrompt(("Vorel-> The surface was not built: " + solveFailure).c_str(), kFailurePromptMs);
    return false;
  }
  const int64_t size = std::max<int64_t>(0, vorel::host::FileSize(solver->frameCache.MeshPath(n)));
  surfaceCacheBytes += double(size - meshBytesCounted_[size_t(n)]);
  meshBytesCounted_[size_t(n)] = size;
  ShowStatisticsIfOpen();
  return ok;
}

void FluidEngine::BuildRenderMesh(TimeValue t, Mesh& mesh) {
  try {
    BuildRenderMeshOf(t, mesh);
    return;
  } catch (const std::bad_alloc&) {
  }
  VertexInfluenceLists().swap(vertexSources);
  mesh.setNumFaces(0);
  mesh.setNumTVFaces(0);
  mesh.setNumVerts(0);
  mesh.setNumTVerts(0);
  mesh.InvalidateTopologyCache();
  ShowTempPrompt("Vorel-> The particles' mesh was not built: out of memory", kFailurePromptMs);
}

void FluidEngine::BuildRenderMeshOf(TimeValue t, Mesh& mesh) {
  IParamBlock2* pb = owner ? owner->SystemParamBlock() : nullptr;
  const SurfaceParams sp = ReadSurfaceParams(pb, t);
  SurfaceBuilder builder(float(solver->particlesPerVolume));
  int total = 0;
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    if (!SlotUsable(i)) continue;
    ParticleObject* po = sourceObjects[i]->SourceParticles();
    if (!po) continue;
    po->UpdateParticles(t, sourceNodes[i]);
    total += po->NumParticles();
  }
  builder.BeginParticles(total, sp.melting * sp.radius);
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    if (!SlotUsable(i)) continue;
    ParticleObject* po = sourceObjects[i]->SourceParticles();
    if (!po) continue;
    const int np = po->NumParticles();
    for (int k = 0; k < np; ++k) {
      const Point3 p = po->ParticlePosition(t, k) * InvFrameScale();
      builder.AddParticle(p, po->ParticleAge(t, k) < 0 ? 1 : 0, 1.0f, 0);
    }
  }
  vertexSources.clear();
  const MeshRecord& built = builder.Build(sp.detail, sp.melting, sp.radius, sp.shrink, 0, 2000, &vertexSources);
  const Matrix3 inv = systemNode ? systemNode->GetObjectTM(t).Inverse() : Matrix3();
  const int nv = int(built.vertices.size());
  const int nf = int(built.faces.size());
  mesh.setNumVerts(nv);
  mesh.setNumTVerts(nv);
  mesh.setSmoothFlags(1);
  for (int v = 0; v < nv; ++v) {
    const Point3 w = inv.PointTransform(built.vertices[size_t(v)] * FrameScale());
    mesh.setVert(v, w);
    mesh.setTVert(v, w);
  }
  mesh.setNumFaces(nf);
  mesh.setNumTVFaces(nf);
  for (int f = 0; f < nf; ++f) {
    const MeshFace& face = built.faces[size_t(f)];
    mesh.faces[size_t(f)].setVerts(face[0], face[1], face[2]);
    mesh.faces[size_t(f)].setEdgeVisFlags(1, 1, 1);
    mesh.tvFace[size_t(f)].setTVerts(face[0], face[1], face[2]);
  }
  mesh.AutoSmooth(9996.28f);
  mesh.InvalidateTopologyCache();
}
