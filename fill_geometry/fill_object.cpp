#include "fill_geometry/fill_object.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fill_geometry/poliedro.h"
#include "host/core/interaction.h"

namespace {

constexpr uint32_t kProgressMs = 1000;
constexpr uint32_t kFinalMs = 2000;
// Surface tests between two chances to poll Escape within one layer of the
// second pass, and the least time between two polls inside a phase.
constexpr size_t kPollChunk = 1 << 16;
constexpr std::chrono::milliseconds kPollInterval(100);

// printf-style text of any length (object names are not bounded).
std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string s;
  if (n > 0) {
    s.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&s[0], s.size(), fmt, ap2);
    s.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return s;
}

bool HostAbort() {
  if (!vorel::host::ProcessPendingMessages()) return true;
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0 && GetForegroundWindow() == vorel::host::MainWindow();
}

using Vec3f = std::array<float, 3>;

Vec3f Corner(double** verts, int32_t index) {
  const double* v = verts[index];
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

using Vec3d = std::array<double, 3>;

double Dot(const Vec3d& a, const Vec3d& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3d Minus(const Vec3d& a, const Vec3d& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// Squared distance from p to the segment a-b (a point when a == b).
double SegmentDistanceSq(const Vec3d& a, const Vec3d& b, const Vec3d& p) {
  const Vec3d ab = Minus(b, a), ap = Minus(p, a);
  const double len2 = Dot(ab, ab);
  double t = len2 > 0 ? Dot(ap, ab) / len2 : 0.0;
  t = std::min(1.0, std::max(0.0, t));
  const Vec3d d = {ap[0] - t * ab[0], ap[1] - t * ab[1], ap[2] - t * ab[2]};
  return Dot(d, d);
}

// Squared distance from p to the closed triangle a, b, c: to its inside when
// p projects into it, else to the nearest edge or corner (a flat triangle is
// measured by its edges).
double TriangleDistanceSq(const Vec3d& a, const Vec3d& b, const Vec3d& c, const Vec3d& p) {
  const Vec3d ab = Minus(b, a), ac = Minus(c, a), ap = Minus(p, a);
  const Vec3d n = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2], ab[0] * ac[1] - ab[1] * ac[0]};
  const double n2 = Dot(n, n);
  if (n2 > 0) {
    // Barycentric weights of p's projection, each times |n|^2.
    const Vec3d bp = Minus(p, b), cp = Minus(p, c);
    const Vec3d bc = Minus(c, b), ca = Minus(a, c);
    auto side = [&](const Vec3d& e, const Vec3d& q) {
      return Dot(n, {e[1] * q[2] - e[2] * q[1], e[2] * q[0] - e[0] * q[2], e[0] * q[1] - e[1] * q[0]});
    };
    if (side(ab, ap) >= 0 && side(bc, bp) >= 0 && side(ca, cp) >= 0) {
      const double d = Dot(ap, n);
      return d * d / n2;
    }
  }
  return std::min({SegmentDistanceSq(a, b, p), SegmentDistanceSq(b, c, p), SegmentDistanceSq(c, a, p)});
}

// Whether one triangle answers the near-surface test for point p: p lies
// within the clearance of some point of the triangle (its inside, an edge
// or a corner). Corners and point are the single-precision values; the
// distance is measured in double, so its rounding stays far below any
// clearance that matters.
bool FaceAnswers(const Vec3f& v0, const Vec3f& v1, const Vec3f& v2, const Vec3f& p, float clearance) {
  if (!(clearance >= 0)) return false;
  const Vec3d a = {v0[0], v0[1], v0[2]}, b = {v1[0], v1[1], v1[2]}, c = {v2[0], v2[1], v2[2]};
  const Vec3d q = {p[0], p[1], p[2]};
  const double r = clearance;
  // Most faces of a large mesh are far off: their box grown by the
  // clearance settles it without the distance.
  for (int k = 0; k < 3; ++k)
    if (q[k] < std::min({a[k], b[k], c[k]}) - r || q[k] > std::max({a[k], b[k], c[k]}) + r) return false;
  return TriangleDistanceSq(a, b, c, q) <= r * r;
}

// Answers PointNearSurface for many points without testing every face: each
// face is entered in the cells of a uniform grid that its box, grown by the
// clearance, reaches, and a point is tested only against the faces of its
// cell (plus the few faces whose box is too large to bin). The answer is a
// plain "some face answers", so leaving out faces that provably cannot
// answer gives the same result as testing all of them.
constexpr double kFloatRoundoff = 5.9604644775390625e-8;  // 2^-24

class NearSurfaceIndex {
 public:
  NearSurfaceIndex(int32_t nf, double** verts, int32_t** faces, float clearance)
      : nf_(nf), verts_(verts), faces_(faces), clearance_(clearance) {
    Build();
  }

  bool Near(const Vec3f& p) const {
    if (!built_ || p[0] < lo_[0] || p[1] < lo_[1] || p[2] < lo_[2] || !(p[0] <= hi_[0]) ||
        !(p[1] <= hi_[1]) || !(p[2] <= hi_[2])) {
      for (int32_t f = 0; f < nf_; ++f)
        if (Test(f, p)) return true;
      return false;
    }
    for (int32_t f : global_)
      if (Test(f, p)) return true;
    const size_t c = CellOf(p);
    for (uint32_t i = start_[c]; i < start_[c + 1]; ++i)
      if (Test(static_cast<int32_t>(list_[i]), p)) return true;
    return false;
  }

 private:
  bool Test(int32_t f, const Vec3f& p) const {
    const int32_t* t = faces_[f];
    return FaceAnswers(Corner(verts_, t[0]), Corner(verts_, t[1]), Corner(verts_, t[2]), p, clearance_);
  }

  size_t CellOf(const Vec3f& p) const {
    int64_t idx[3];
    for (int a = 0; a < 3; ++a) {
      int64_t i = static_cast<int64_t>((static_cast<double>(p[a]) - lo_[a]) / cell_);
      idx[a] = std::min<int64_t>(std::max<int64_t>(i, 0), n_[a] - 1);
    }
    return static_cast<size_t>((idx[2] * n_[1] + idx[1]) * n_[0] + idx[0]);
  }

  void Build() {
    if (nf_ <= 0 || !(clearance_ >= 0) || !std::isfinite(clearance_)) return;
    // Mesh box and coordinate scale.
    double mlo[3] = {1e300, 1e300, 1e300}, mhi[3] = {-1e300, -1e300, -1e300};
    for (int32_t f = 0; f < nf_; ++f)
      for (int c = 0; c < 3; ++c) {
        const Vec3f v = Corner(verts_, faces_[f][c]);
        for (int a = 0; a < 3; ++a) {
          if (!std::isfinite(v[a])) return;  // keep the plain scan
          mlo[a] = std::min(mlo[a], static_cast<double>(v[a]));
          mhi[a] = std::max(mhi[a], static_cast<double>(v[a]));
        }
      }
    double scale = 0;
    for (int a = 0; a < 3; ++a) scale = std::max({scale, std::fabs(mlo[a]), std::fabs(mhi[a])});
    scale += clearance_;
    const double margin = clearance_ * (1.0 + 1e-5) + 64.0 * kFloatRoundoff * scale;

    // The index covers the mesh box grown by the clearance; points outside it
    // are tested against every face.
    double extent = 0;
    for (int a = 0; a < 3; ++a) {
      lo_[a] = mlo[a] - margin;
      hi_[a] = mhi[a] + margin;
      extent = std::max(extent, hi_[a] - lo_[a]);
    }
    if (!(extent > 0)) return;

    std::vector<std::array<double, 6>> boxes(static_cast<size_t>(nf_));
    std::vector<uint8_t> isGlobal(static_cast<size_t>(nf_), 0);
    double sumExtent = 0;
    int32_t binned = 0;
    for (int32_t f = 0; f < nf_; ++f) {
      const int32_t* t = faces_[f];
      double v[3][3];
      for (int c = 0; c < 3; ++c) {
        const Vec3f w = Corner(verts_, t[c]);
        for (int a = 0; a < 3; ++a) v[c][a] = w[a];
      }
      // A face answers only within the clearance of itself (margin, with
      // room for rounding).
      const double grow = margin;
      std::array<double, 6>& b = boxes[static_cast<size_t>(f)];
      double e = 0;
      for (int a = 0; a < 3; ++a) {
        b[2 * a] = std::min({v[0][a], v[1][a], v[2][a]}) - grow;
        b[2 * a + 1] = std::max({v[0][a], v[1][a], v[2][a]}) + grow;
        e = std::max(e, b[2 * a + 1] - b[2 * a]);
      }
      sumExtent += e;
      ++binned;
    }

    // Cells about the size of a typical face region, at most ~4M in all.
    double cell = binned > 0 ? sumExtent / binned : extent;
    cell = std::max(cell, extent / 512.0);
    auto cellsFor = [&](double c) {
      double total = 1;
      for (int a = 0; a < 3; ++a) total *= std::floor((hi_[a] - lo_[a]) / c) + 1.0;
      return total;
    };
    const double maxCells = 4.0e6;
    double total = cellsFor(cell);
    if (total > maxCells) {
      cell *= std::cbrt(total / maxCells) * 1.01;
      total = cellsFor(cell);
    }
    cell_ = cell;
    for (int a = 0; a < 3; ++a) n_[a] = static_cast<int64_t>(std::floor((hi_[a] - lo_[a]) / cell)) + 1;
    const size_t ncell = static_cast<size_t>(n_[0] * n_[1] * n_[2]);
    const double perFaceLimit = std::max(4096.0, 64.0 * static_cast<double>(ncell) / nf_);

    std::vector<std::array<int64_t, 6>> ranges(static_cast<size_t>(nf_));
    std::vector<uint32_t> count(ncell + 1, 0);
    for (int32_t f = 0; f < nf_; ++f) {
      if (isGlobal[static_cast<size_t>(f)]) continue;
      const auto& b = boxes[static_cast<size_t>(f)];
      auto& r = ranges[static_cast<size_t>(f)];
      double covered = 1;
      for (int a = 0; a < 3; ++a) {
        const double i0 = std::floor((b[2 * a] - lo_[a]) / cell);
        const double i1 = std::floor((b[2 * a + 1] - lo_[a]) / cell);
        r[2 * a] = static_cast<int64_t>(std::min(std::max(i0, 0.0), static_cast<double>(n_[a] - 1)));
        r[2 * a + 1] = static_cast<int64_t>(std::min(std::max(i1, 0.0), static_cast<double>(n_[a] - 1)));
        covered *= static_cast<double>(r[2 * a + 1] - r[2 * a] + 1);
      }
      if (covered > perFaceLimit) {
        isGlobal[static_cast<size_t>(f)] = 1;
        continue;
      }
      ForEachCell(r, [&](size_t c) { ++count[c + 1]; });
    }
    start_.assign(ncell + 1, 0);
    for (size_t c = 0; c < ncell; ++c) start_[c + 1] = start_[c] + count[c + 1];
    list_.assign(start_[ncell], 0);
    std::vector<uint32_t> fillPos(start_.begin(), start_.end() - 1);
    for (int32_t f = 0; f < nf_; ++f) {
      if (isGlobal[static_cast<size_t>(f)]) {
        global_.push_back(f);
        continue;
      }
      ForEachCell(ranges[static_cast<size_t>(f)],
                  [&](size_t c) { list_[fillPos[c]++] = static_cast<uint32_t>(f); });
    }
    built_ = true;
  }

  template <class Fn>
  void ForEachCell(const std::array<int64_t, 6>& r, Fn fn) const {
    for (int64_t z = r[4]; z <= r[5]; ++z)
      for (int64_t y = r[2]; y <= r[3]; ++y)
        for (int64_t x = r[0]; x <= r[1]; ++x) fn(static_cast<size_t>((z * n_[1] + y) * n_[0] + x));
  }

  int32_t nf_;
  double** verts_;
  int32_t** faces_;
  float clearance_;
  bool built_ = false;
  double lo_[3] = {0, 0, 0}, hi_[3] = {0, 0, 0};
  double cell_ = 1;
  int64_t n_[3] = {1, 1, 1};
  std::vector<uint32_t> start_;
  std::vector<uint32_t> list_;
  std::vector<int32_t> global_;
};

// Single-precision percentage of i out of `of`; a single step shows 100%.
int Percent(int64_t i, int64_t of) {
  if (of <= 0) return 100;
  return static_cast<int>(static_cast<float>(i) * 100.0f / static_cast<float>(of));
}

}  // namespace

bool PointNearSurface(int32_t /*nv*/, double** verts, int32_t nf, int32_t** faces, const float point[3],
                      float clearance) {
  const Vec3f p = {point[0], point[1], point[2]};
  for (int32_t f = 0; f < nf; ++f) {
    const int32_t* t = faces[f];
    if (FaceAnswers(Corner(verts, t[0]), Corner(verts, t[1]), Corner(verts, t[2]), p, clearance)) return true;
  }
  return false;
}

void FillObjectWithParticles(float unused, double radius, float clearance, Tab<Point3>& points,
                             Tab<int>& layerTable, int32_t nv, double** verts, int32_t nf, int32_t** faces,
                             const char* name, bool axisFlag) {
  FillObjectWithParticles(unused, radius, clearance, points, layerTable, nv, verts, nf, faces, name, axisFlag,
                          FillHooks());
}

void FillObjectWithParticles(float /*unused*/, double radius, float clearance, Tab<Point3>& points,
                             Tab<int>& layerTable, int32_t nv, double** verts, int32_t nf, int32_t** faces,
                             const char* name, bool axisFlag, const FillHooks& hooks) {
  auto prompt = [&](const std::string& text, uint32_t ms) {
    if (hooks.prompt)
      hooks.prompt(text.c_str(), ms);
    else
      ShowTempPrompt(text.c_str(), ms);
  };
  // Escape is polled once per layer in each pass, as the progress text is
  // shown, and in between wherever a phase runs long: a poll goes to the
  // host only when kPollInterval has passed since the last one, and a
  // cancel, once seen, stays.
  using Clock = std::chrono::steady_clock;
  bool cancelled = false;
  auto lastPoll = Clock::now();
  auto aborted = [&]() {
    lastPoll = Clock::now();
    if (!cancelled) cancelled = hooks.abort ? hooks.abort() : HostAbort();
    return cancelled;
  };
  auto abortedSoon = [&]() {
    if (cancelled) return true;
    if (Clock::now() - lastPoll < kPollInterval) return false;
    return aborted();
  };
  auto cancel = [&]() {
    points.ZeroCount();
    layerTable.ZeroCount();
    prompt("Cancelled by user", kFinalMs);
  };
  const char* shownName = name ? name : "";

  // Memory runs out only for very many kept points without a limit; that
  // ends as a fill with no particles and its own message, never a crash.
  try {
    auto mesh = std::make_unique<PoliedroMatricial>();
    mesh->SetMesh(nv, verts, nf, faces);
    auto solid = std::make_unique<PoliedroEstructurado>();
    if (abortedSoon()) {
      cancel();
      return;
    }
    solid->SetCancelTest(abortedSoon);
    solid->SetFaces(*mesh);
    mesh.reset();  // the faces hold their own corners
    if (abortedSoon()) {
      cancel();
      return;
    }

    points.ZeroCount();
    layerTable.ZeroCount();

    int32_t layers = 0;
    double firstZ = 0, lastZ = 0, dz = 0;
    if (solid->SetupLayers(radius, layers, firstZ, lastZ, dz) && layers >= 1 && solid->LayerCount() >= 1) {
      const int32_t last = std::min(layers, solid->LayerCount()) - 1;
      std::vector<int32_t> perLayer(static_cast<size_t>(last) + 1, 0);

      // First pass: mark the inside cells layer by layer; with a limit, only
      // until there are as many candidates as the caller can use (the second
      // pass marks more layers should the surface test drop too many).
      const int64_t cap = hooks.maxPoints > 0 ? hooks.maxPoints : 0;
      // Marks layer i's inside cells and keeps their count; false once
      // Escape has cancelled the marking.
      auto markLayer = [&](int32_t i) {
        int32_t count = 0;
        solid->ComputeLayer(i, count);
        perLayer[static_cast<size_t>(i)] = count;
        return !cancelled;
      };
      int32_t marked = last;
      int64_t candidates = 0;
      for (int32_t i = 0; i <= last; ++i) {
        if (!markLayer(i)) {
          cancel();
          return;
        }
        candidates += perLayer[static_cast<size_t>(i)];
        prompt(Format("Filling %s-> %d%%. numParts->%d. ESC to cancel.", shownName, Percent(i, last),
                      static_cast<int>(candidates)),
               kProgressMs);
        if (aborted()) {
          cancel();
          return;
        }
        if (cap > 0 && candidates >= cap) {
          marked = i;
          break;
        }
      }

      // Second pass, layer by layer: take the layer's candidates from the
      // grid, keep those away from the surface, and add them; the table
      // becomes running totals of the layers that kept points. No array of
      // all candidates is made, and Escape is polled at least every
      // kPollInterval, however large a layer.
      const NearSurfaceIndex near(nf, verts, faces, clearance);
      int64_t total = 0;
      for (int32_t n : perLayer) total += n;
      if (cap > 0) total = std::min(total, cap);
      points.Resize(static_cast<int>(std::min<int64_t>(total, std::numeric_limits<int>::max())));
      const int32_t tableSize = last + 1;
      std::vector<std::array<double, 3>> cand;
      std::vector<uint8_t> keep;
      for (int32_t j = 0; j < tableSize; ++j) {
        if (j > marked && !markLayer(j)) {
          cancel();
          return;
        }
        // A point walk that disagrees with the count is treated as no
        // particles.
        if (!solid->LayerPoints(j, cand) || cand.size() != static_cast<size_t>(perLayer[static_cast<size_t>(j)])) {
          points.ZeroCount();
          layerTable.ZeroCount();
          break;
        }
        keep.assign(cand.size(), 0);
        bool kept = false;
        for (size_t from = 0; from < cand.size(); from += kPollChunk) {
          const int64_t to = static_cast<int64_t>(std::min(cand.size(), from + kPollChunk));
#pragma omp parallel for schedule(static, 1024) if (to - static_cast<int64_t>(from) > 4096)
          for (int64_t c = static_cast<int64_t>(from); c < to; ++c) {
            const auto& p = cand[static_cast<size_t>(c)];
            const Vec3f pf = {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
            keep[static_cast<size_t>(c)] = near.Near(pf) ? 0 : 1;
          }
          if (to < static_cast<int64_t>(cand.size()) && abortedSoon()) {
            cancel();
            return;
          }
        }
        for (size_t c = 0; c < cand.size(); ++c) {
          if (!keep[c]) continue;
          const auto& p = cand[c];
          const float x = static_cast<float>(p[0]), y = static_cast<float>(p[1]), z = static_cast<float>(p[2]);
          points.Append(axisFlag ? Point3(x, y, z) : Point3(x, z, y));
          kept = true;
        }
        solid->ReleaseLayer(j);
        if (kept) layerTable.Append(points.Count());
        prompt(Format("Adding particles to Vorel source-> %d%%...", Percent(j, tableSize)), kProgressMs);
        if (aborted()) {
          cancel();
          return;
        }
        if (cap > 0 && points.Count() >= cap) break;
      }
      solid->FreeGrid();
    }
  } catch (const std::bad_alloc&) {
    points.ZeroCount();
    points.Shrink();
    layerTable.ZeroCount();
    layerTable.Shrink();
    prompt(Format("Not enough memory to fill %s", shownName), kFinalMs);
    return;
  }

  // The final text gives the layer table's size less one (a one-layer fill
  // reads "0 layers"): logs and scripts that read it count that way.
  if (layerTable.Count() == 0)
    prompt("no particles in filled object <<--", kFinalMs);
  else
    prompt(Format("Fill complete. %d particles in %d layers.", points.Count(), layerTable.Count() - 1),
           kFinalMs);
}
