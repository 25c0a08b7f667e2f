// Emission outlines, shape rows and points, and the predicted stream.
#include "scene_objects/emission_shape.h"

#include <cmath>

#include "fill_geometry/shape_lattice.h"

namespace {
constexpr double kNotGiven = 7051939.756202;
constexpr float kRowSamples[4] = {0.0f, 0.25f, 0.5f, 0.75f};

// The row point of a spline sample, computed one way for building and
// comparing so the exact test holds.
void RowPoint(const Point3& p, float sx, float sy, float scale, double& x, double& y) {
  x = double(p.x * sx / scale);
  y = double(p.y * sy / scale);
}
}  // namespace

void AddCircleSpline(BezierShape& shape, float radius) {
  Spline3D* s = shape.NewSpline();
  const float h = radius * kCircleHandle;
  for (int k = 0; k < 4; ++k) {
    const double a = k * 2.0 * M_PI / 4.0;
    const Point3 p(float(radius * std::cos(a)), float(radius * std::sin(a)), 0.0f);
    const Point3 t(float(-std::sin(a)), float(std::cos(a)), 0.0f);
    s->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - t * h, p + t * h));
  }
  s->SetClosed(true);
}

void AppendPolylineMesh(const Spline3D& spline, bool close, Mesh& out) {
  const int segs = spline.Segments();
  if (segs < 1) return;
  std::vector<Point3> samples;
  for (int s = 0; s < segs; ++s)
    for (int j = 0; j < 6; ++j) samples.push_back(spline.InterpBezier3D(s, j / 6.0f));
  if (close) samples.push_back(samples.front());
  Mesh line;
  const int n = int(samples.size());
  line.setNumVerts(n);
  line.setNumFaces(n - 1);
  for (int k = 0; k < n; ++k) line.verts[size_t(k)] = samples[size_t(k)];
  for (int k = 0; k + 1 < n; ++k) {
    Face& f = line.faces[size_t(k)];
    f.setVerts(k, k + 1, k);
    f.setEdgeVisFlags(EDGE_VIS, EDGE_VIS, EDGE_VIS);
    f.setSmGroup(0);
  }
  if (out.getNumVerts() == 0 && out.getNumFaces() == 0) {
    out = line;
  } else {
    Mesh merged;
    CombineMeshes(merged, out, line);
    out = merged;
  }
}

void SampleShapeRows(BezierShape& shape, float sx, float sy, float scale, Hileras& rows) {
  for (int i = 0; i < shape.SplineCount(); ++i) {
    const Spline3D* s = shape.GetSpline(i);
    Hilera* row = new Hilera();
    double x = 0, y = 0;
    for (int seg = 0; seg < s->Segments(); ++seg)
      for (float u : kRowSamples) {
        RowPoint(s->InterpBezier3D(seg, u), sx, sy, scale, x, y);
        row->AddPoint(x, y);
      }
    RowPoint(s->InterpBezier3D(0, 0.0f), sx, sy, scale, x, y);
    row->AddPoint(x, y);
    rows.Add(row);
  }
}

bool RowsMatchShape(BezierShape& shape, float sx, float sy, float scale, const Hileras& rows) {
  if (rows.Count() != shape.SplineCount()) return false;
  for (int i = 0; i < shape.SplineCount(); ++i) {
    const Spline3D* s = shape.GetSpline(i);
    const Hilera* row = rows.Get(i);
    if (!row || row->Count() != 4 * s->Segments() + 1) return false;
    int k = 0;
    double x = 0, y = 0;
    for (int seg = 0; seg < s->Segments(); ++seg)
      for (float u : kRowSamples) {
        RowPoint(s->InterpBezier3D(seg, u), sx, sy, scale, x, y);
        const Punto2D* p = row->Get(k++);
        if (p->X() != x || p->Y() != y) return false;
      }
    RowPoint(s->InterpBezier3D(0, 0.0f), sx, sy, scale, x, y);
    const Punto2D* last = row->Get(k);
    if (last->X() != x || last->Y() != y) return false;
  }
  return true;
}

void BuildShapeEmissionPoints(const Hileras& rows, double spacing, const std::function<int()>& rand15,
                              std::vector<Point3>& points) {
  points.clear();
  uint32_t n[2] = {0, 0};
  double** layer[2] = {nullptr, nullptr};
  BuildRegionsFromChains(rows, 0.45 * spacing, n[0], layer[0], n[1], layer[1], 0.0001 * spacing,
                         kNotGiven, kNotGiven);
  const double lift = 0.95 * 0.45 * spacing / 32767.0;
  for (int l = 0; l < 2; ++l) {
    if (!layer[l]) continue;
    for (uint32_t i = 0; i < n[l]; ++i) {
      const double* p = layer[l][i];
      points.emplace_back(p[0], p[1], p[2] + rand15() * lift);
      delete[] p;
    }
    delete[] layer[l];
  }
}

void AdvanceStreamPoint(TrajectoryPoint& e, float dt, int steps, int frame, const StreamPhysics& phys) {
  const float tpf = float(phys.ticksPerFrame);
  for (int i = 0; i < steps; ++i) {
    Point3 a;
    if (phys.force)
      a = phys.force(TimeValue(tpf * (i * dt + frame)), e.pos, e.vel) * (tpf * 200000.0f);
    e.vel = (a - Point3(0.0f, 0.0f, phys.gravity)) * dt + e.vel;
    e.pos = e.vel * dt + e.pos;
  }
}

std::deque<TrajectoryPoint> PredictStream(const Point3& origin, const Point3& velocity, int length,
                                          const StreamPhysics& phys) {
  std::deque<TrajectoryPoint> stream;
  for (int k = 1; k < length; ++k) {
    TrajectoryPoint e = stream.empty() ? TrajectoryPoint{origin, velocity, k} : stream.front();
    const float h = float(phys.ticksPerFrame) * float(k - e.frame) / 4800.0f;
    if (h >= 0.0f) AdvanceStreamPoint(e, h / 12.0f, 12, k, phys);
    e.frame = k;
    stream.push_front(e);
  }
  return stream;
}

void ExtendStream(std::deque<TrajectoryPoint>& stream, const Point3& origin, const Point3& velocity,
                  bool disabled, int length, int firstFrame, const StreamPhysics& phys) {
  const int frame = stream.empty() ? firstFrame + 1 : stream.front().frame + 1;
  if (!disabled) {
    stream.push_back(TrajectoryPoint{origin, velocity, frame});
    while (int(stream.size()) > std::max(length, 0)) stream.pop_front();
  }
  const float dt = float(phys.ticksPerFrame) / 4800.0f / 5.0f;
  for (TrajectoryPoint& e : stream) {
    if (e.frame < frame) AdvanceStreamPoint(e, dt, 5, frame, phys);
    e.frame = frame;
  }
}
