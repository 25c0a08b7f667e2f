#include "gpu_frontend/solver_inputs.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>

#include "fill_geometry/shape_lattice.h"
#include "host/core/clock.h"
#include "host/core/files.h"
#include "host/sdk/object.h"

namespace vorel_gpufe {

namespace {

// Writes one input file aside (see ExportFailure); write puts its content.
bool WriteInput(const std::string& path, const std::function<bool(std::FILE*)>& write, ExportFailure* failure) {
  const vorel::host::AsideWrite w = vorel::host::WriteFileAside(path, write);
  if (w.error == 0) return true;
  if (failure) *failure = {path, w.error};
  return false;
}

}  // namespace

std::string DescribeFailure(const ExportFailure& failure) {
  return failure.path + ": " + (failure.error != 0 ? std::strerror(failure.error) : "cannot be written");
}

int EmissionStepTicks(int ticksPerFrame) {
  const int s = ticksPerFrame / kEmissionSubSamples;
  return s >= 1 ? s : 1;
}

vorel_gpu::Vec3f ToFilePoint(const Point3& p, float scale) { return {p.x * scale, p.y * scale, p.z * scale}; }

bool WriteFillFile(const std::string& cacheDir, float particlesPerVolume, int count,
                   const std::vector<Point3>& positions, const std::vector<Point3>& velocities, float scale,
                   ExportFailure* failure) {
  const std::string path = vorel::host::NormalizePath(vorel_gpu::FillFilePath(cacheDir));
  if (count < 0 || positions.size() < size_t(count) || velocities.size() < size_t(count)) {
    if (failure) *failure = {path, EINVAL};
    return false;
  }
  const size_t n = size_t(count);
  std::vector<vorel_gpu::Vec3f> pos(n), vel(n);
  for (size_t i = 0; i < n; ++i) {
    pos[i] = ToFilePoint(positions[i], scale);
    vel[i] = ToFilePoint(velocities[i], 1.0f);
  }
  return WriteInput(path, [&](std::FILE* f) { return vorel_gpu::PutFillFile(f, particlesPerVolume, pos, vel); },
                    failure);
}

void EmitLayers(const std::vector<Point3>& basePoints, float spacing, float speed, float dt, bool disabled,
                float* accumulator, std::vector<Point3>* emitPoints, const std::function<float()>& rand01) {
  const float h = spacing * kEmitLayerStep;
  float d = speed * dt + *accumulator;
  emitPoints->clear();
  if (disabled) return;
  // A step that is no length would never use the distance up.
  if (!(h > 0.0f)) return;
  while (d > h) {
    for (const Point3& p : basePoints) {
      const float r1 = rand01(), r2 = rand01(), r3 = rand01();
      emitPoints->push_back(Point3(p.x + r1 * kEmitJitterXY * spacing, p.y + r2 * kEmitJitterXY * spacing,
                                   (d - p.z) + spacing * kEmitJitterZ * r3));
    }
    d -= h;
  }
  *accumulator = d;
}

std::function<float()> ClockSeededRand01() {
  SYSTEMTIME st;
  GetSystemTime(&st);
  std::tm tm{};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  HostSRand(unsigned(timegm(&tm)));
  return [] { return float(HostRand()) / float(HOST_RAND_MAX); };
}

namespace {

// The sampled points of one closed spline, in the order SampleOutline adds them.
void SampleSpline(Spline3D& spline, float sx, float sy, std::vector<Point2>* out) {
  out->clear();
  const int segments = spline.Segments();
  for (int g = 0; g < segments; ++g)
    for (int k = 0; k < 4; ++k) {
      const Point3 p = spline.InterpBezier3D(g, 0.25f * float(k));
      out->push_back(Point2(p.x * kToSolverUnits * sx, p.y * kToSolverUnits * sy));
    }
  const Point3 first = segments > 0 ? spline.InterpBezier3D(0, 0.0f) : spline.GetKnotPoint(0);
  out->push_back(Point2(first.x * kToSolverUnits * sx, first.y * kToSolverUnits * sy));
}

bool Usable(Spline3D* spline) { return spline && spline->Closed() && spline->KnotCount() > 0; }

}  // namespace

void SampleOutline(BezierShape& shape, float sx, float sy, Hileras* rows) {
  std::vector<Point2> pts;
  for (int i = 0; i < shape.SplineCount(); ++i) {
    Spline3D* spline = shape.GetSpline(i);
    if (!Usable(spline)) continue;
    SampleSpline(*spline, sx, sy, &pts);
    auto* row = new Hilera;
    for (const Point2& p : pts) row->AddPoint(double(p.x), double(p.y));
    rows->Add(row);
  }
}

bool OutlineMatches(const Hileras& rows, BezierShape& shape, float sx, float sy) {
  if (rows.Count() == 0) return false;
  std::vector<Point2> pts;
  int index = 0;
  for (int i = 0; i < shape.SplineCount(); ++i) {
    Spline3D* spline = shape.GetSpline(i);
    if (!Usable(spline)) continue;
    if (index >= rows.Count()) return false;
    const Hilera* row = rows.Get(index++);
    SampleSpline(*spline, sx, sy, &pts);
    if (row->Count() != int32_t(pts.size()) || row->Count() != 4 * spline->Segments() + 1) return false;
    for (int32_t k = 0; k < row->Count(); ++k) {
      const Punto2D* q = row->Get(k);
      if (q->x() != double(pts[size_t(k)].x) || q->y() != double(pts[size_t(k)].y)) return false;
    }
  }
  // A spline that was removed leaves a row nothing compares against.
  return index == rows.Count();
}

void BuildBasePoints(const Hileras& rows, float spacing, std::vector<Point3>* basePoints) {
  basePoints->clear();
  const double r = 0.5 * double(spacing);
  uint32_t n1 = 0, n2 = 0;
  double** p1 = nullptr;
  double** p2 = nullptr;
  if (!BuildRegionsFromChains(rows, r, n1, p1, n2, p2, 0.0001 * double(spacing), 7051939.756202,
                              7051939.756202))
    return;
  basePoints->reserve(size_t(n1) + n2);
  for (uint32_t i = 0; i < n1; ++i) basePoints->push_back(Point3(float(p1[i][0]), float(p1[i][1]), float(p1[i][2])));
  for (uint32_t i = 0; i < n2; ++i) basePoints->push_back(Point3(float(p2[i][0]), float(p2[i][1]), float(p2[i][2])));
  for (uint32_t i = 0; i < n1; ++i) delete[] p1[i];
  for (uint32_t i = 0; i < n2; ++i) delete[] p2[i];
  delete[] p1;
  delete[] p2;
}

vorel_gpu::EmissionRecord MakeEmissionRecord(int tick, const std::vector<EmissionGroup>& groups) {
  vorel_gpu::EmissionRecord rec;
  rec.tick = tick;
  for (const EmissionGroup& g : groups)
    for (const EmissionInstance& inst : g.instances)
      for (const Point3& p : g.points) {
        rec.positions.push_back(ToFilePoint(inst.objectTM.PointTransform(p * kSolverUnitScale), kToSolverUnits));
        rec.velocities.push_back(ToFilePoint(inst.velocity, 1.0f));
      }
  return rec;
}

bool WriteEmissionRecords(const std::string& cacheDir, int tpf, int endFrame, const EmissionSampler& sample,
                          ExportFailure* failure) {
  const int step = EmissionStepTicks(tpf);
  const float dt = float(step) / float(kTicksPerSecond);
  const int64_t end = int64_t(endFrame) * tpf;
  auto write = [&](std::FILE* f) {
    bool ok = true;
    for (int64_t t = 0; ok && t < end; t += step) {
      // The whole record is gathered first, so the count it starts with is
      // always the number of points that follow.
      const vorel_gpu::EmissionRecord rec = MakeEmissionRecord(int(t), sample(int(t), dt));
      ok = vorel_gpu::AppendEmissionRecord(f, rec.tick, rec.positions, rec.velocities);
    }
    return ok;
  };
  return WriteInput(vorel::host::NormalizePath(vorel_gpu::EmissionFilePath(cacheDir)), write, failure);
}

bool WriteColliderFrame(const std::string& cacheDir, int ticks, const std::vector<Point3>& corners,
                        ExportFailure* failure) {
  if (corners.size() < 3) return true;
  std::vector<vorel_gpu::Vec3f> pts;
  pts.reserve(corners.size() - corners.size() % 3);
  for (size_t i = 0; i + 2 < corners.size(); i += 3)
    for (size_t k = 0; k < 3; ++k) pts.push_back(ToFilePoint(corners[i + k], kToSolverUnits));
  return WriteInput(vorel::host::NormalizePath(vorel_gpu::ColliderFilePath(cacheDir, ticks)),
                    [&](std::FILE* f) { return vorel_gpu::PutColliderFile(f, pts); }, failure);
}

bool WriteColliderFrames(const std::string& cacheDir, int tpf, int first, int count,
                         const std::function<std::vector<Point3>(int tick)>& corners, ExportFailure* failure) {
  for (int64_t frame = first; frame <= int64_t(first) + count; ++frame) {
    const int tick = int(frame * tpf);
    if (!WriteColliderFrame(cacheDir, tick, corners(tick), failure)) return false;
  }
  return true;
}

vorel_gpu::KillBoxRow MakeKillBoxRow(int tick, const Point3& boxMin, const Point3& boxMax) {
  vorel_gpu::KillBoxRow row;
  row.tick = tick;
  row.min[0] = boxMin.x;
  row.min[1] = boxMin.z;
  row.min[2] = boxMin.y;
  row.max[0] = boxMax.x;
  row.max[1] = boxMax.z;
  row.max[2] = boxMax.y;
  return row;
}

bool WriteKillBoxRows(const std::string& cacheDir, int tpf, int first, int count,
                      const std::function<void(int tick, Point3* boxMin, Point3* boxMax)>& box,
                      ExportFailure* failure) {
  std::vector<vorel_gpu::KillBoxRow> rows;
  for (int64_t frame = first; frame < int64_t(first) + count; ++frame) {
    const int tick = int(frame * tpf);
    Point3 lo, hi;
    box(tick, &lo, &hi);
    rows.push_back(MakeKillBoxRow(tick, lo, hi));
  }
  return WriteInput(vorel::host::NormalizePath(vorel_gpu::KillBoxFilePath(cacheDir)),
                    [&](std::FILE* f) { return vorel_gpu::PutKillBoxFile(f, rows); }, failure);
}

}  // namespace vorel_gpufe
