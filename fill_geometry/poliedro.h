// The closed mesh on the 3D side of the fill: PoliedroMatricial is a checked
// copy of the caller's vertex and face arrays; PoliedroEstructurado holds the
// faces, lays a close-packed lattice over their box, cuts the mesh layer by
// layer into planar regions and marks the lattice cells inside them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "fill_geometry/cara.h"
#include "fill_geometry/recinto.h"

class PoliedroMatricial {
 public:
  // SetMesh result codes, in the order in which they are checked.
  enum : int16_t {
    kTooFewVertices = -990,  // < 3 vertices, or a face index out of range
    kBadFaces = -992,        // no faces; or a repeated index / degenerate face
    kCoincidentVertices = -991,
    kRepeatedFace = -994,
    kOppositeOrientation = -995,
    kAccepted = -8888,
  };

  PoliedroMatricial() = default;
  virtual ~PoliedroMatricial() = default;
  PoliedroMatricial(const PoliedroMatricial&) = delete;
  PoliedroMatricial& operator=(const PoliedroMatricial&) = delete;

  // Checks the mesh and, only when every check passes, copies it; a refused
  // mesh leaves the object empty. Returns the first code that applies (see
  // above). The checks sort instead of comparing every pair, so dense meshes
  // cost n log n; which code comes first is the same.
  int16_t SetMesh(int32_t nv, const double* const* verts, int32_t nf, const int32_t* const* faces);

  int32_t VertexCount() const { return static_cast<int32_t>(verts_.size()); }
  int32_t FaceCount() const { return static_cast<int32_t>(faces_.size()); }
  // A new face built from the three vertices of face i (the caller owns it);
  // false when i is out of range or the face is refused.
  bool GetFace(int32_t i, Cara*& face) const;

 private:
  std::vector<std::array<double, 3>> verts_;
  std::vector<std::array<int32_t, 3>> faces_;
};

struct LatticeLayout {
  double dy = 0, dz = 0;  // row and layer spacing
  double rowShift = 0;    // x offset of every other row (r)
  double layerShift = 0;  // y offset of every other layer (dy / 3)
  double xlo = 0, xhi = 0, xStart = 0;
  double ylo = 0, yhi = 0, yStart = 0;
};

class PoliedroEstructurado {
 public:
  // Lattice constants: rows sqrt(3) r apart, layers sqrt(8/3) r apart.
  static constexpr double kRowFactor = 1.73205080756888;
  static constexpr double kLayerFactor = 1.63299316185545;
  static constexpr double kLayerNudge = 0.000123456789;
  // The occupancy grid holds one byte per lattice cell; a lattice larger than
  // this (a small radius on a large object) is refused instead of allocated.
  static constexpr int64_t kMaxGridCells = 2147483647;  // keeps every count in int32

  PoliedroEstructurado();
  virtual ~PoliedroEstructurado();
  PoliedroEstructurado(const PoliedroEstructurado&) = delete;
  PoliedroEstructurado& operator=(const PoliedroEstructurado&) = delete;

  // Takes the faces of the mesh (the box grows with each accepted face); a
  // cancel (SetCancelTest) stops it with part of the faces taken.
  void SetFaces(const PoliedroMatricial& mesh);

  // Lays out the lattice for radius r and allocates the zeroed grid. False on
  // an empty box, r < 1e-8, an empty range, or a grid above kMaxGridCells
  // (or one that cannot be allocated).
  bool SetupLayers(double r, int32_t& layers, double& firstZ, double& lastZ, double& dz);
  bool LatticeParams(LatticeLayout& out) const;

  // Cuts layer k and marks its inside cells; `marked` gets their number.
  // False, with `marked` 0 and the layer's marks incomplete, when the cancel
  // test answered true on the way.
  bool ComputeLayer(int32_t k, int32_t& marked);

  // A test asked between the stages of a layer's cut and every few rows of
  // its marking (a layer of many parts takes long); when it answers true the
  // layer stops, and it must keep answering true from then on. Empty: never
  // asked.
  void SetCancelTest(std::function<bool()> test) { cancelTest_ = std::move(test); }

  // The cross-section at height z. Every face whose z range holds z gives a
  // segment, except faces lying flat at one height (z extent <= 1e-8), which
  // have no edge to cut; when a cut ran through corners, repeated segments
  // are dropped. status 0: no section; 1: degenerate (no regions); 2: regions
  // found. `regions` is new (caller deletes) or null; `cutFaces` gets the
  // index of every face that gave a segment.
  void SliceRegions(double z, Recintos*& regions, int& status, std::vector<int32_t>& cutFaces,
                    double tol) const;

  // Height tried on the n-th attempt (n = 0 is z itself) when a layer's cut
  // is degenerate: z, z + 0.001 dz, z - 0.001 dz, z + 0.002 dz, ...
  static double RetryHeight(double z, double dz, int n);

  // Occupied cells of layers a .. b (0 when the range is invalid).
  void CountCells(int32_t a, int32_t b, int32_t& count) const;
  // The occupied cells of layers a .. b in lattice order (layer, row, column).
  // Exactly `expected` points must come out: then the grid is freed and the
  // result is true; otherwise `points` is emptied, the grid kept, false.
  bool GetPoints(int32_t a, int32_t b, int32_t expected, std::vector<std::array<double, 3>>& points);
  // The occupied cells of layer k alone, in lattice order, keeping the grid
  // (a fill that takes its points layer by layer needs no array of all of
  // them); false, `points` empty, when k is out of range or no lattice.
  bool LayerPoints(int32_t k, std::vector<std::array<double, 3>>& points) const;

  void FreeGrid();
  // Frees the marks of layer k (a fill done with that layer's points).
  void ReleaseLayer(int32_t k);
  void Clear();

  int32_t LayerCount() const { return layers_; }
  int32_t RowCount() const { return rows_; }
  int32_t ColumnCount() const { return cols_; }
  int32_t FaceCount() const { return faceCount_; }
  const Caras* Faces() const { return faces_; }
  bool IsCellOccupied(int32_t layer, int32_t row, int32_t col) const;
  double XMin() const { return xmin_; }
  double XMax() const { return xmax_; }
  double YMin() const { return ymin_; }
  double YMax() const { return ymax_; }
  double ZMin() const { return zmin_; }
  double ZMax() const { return zmax_; }

 private:
  // Occupied cells col0 .. col1 (inclusive) of one row.
  struct Run {
    int32_t row, col0, col1;
  };
  void Mark(int32_t layer, int32_t row, int32_t col);
  void AppendLayerPoints(int32_t k, const LatticeLayout& L, std::vector<std::array<double, 3>>& points,
                         size_t limit) const;
  void MarkRow(int32_t layer, int32_t row, double rowX, const std::vector<double>& xs);
  // Faces whose z range may hold z, in face order (a superset; the cut itself
  // tests the range).
  void FacesNearHeight(double z, std::vector<int32_t>& out) const;
  void BuildHeightIndex();
  int64_t Bucket(double z, int64_t buckets) const;

  bool CancelAsked() const { return cancelTest_ && cancelTest_(); }

  std::function<bool()> cancelTest_;
  int32_t faceCount_ = 0;
  Caras* faces_ = nullptr;
  double xmin_, xmax_, ymin_, ymax_, zmin_, zmax_;
  uint8_t latticeReady_ = 0;
  // The occupied cells of each layer as runs in lattice order (row, then
  // column): memory grows with the marked rows, not with the lattice's box,
  // so a large box with a thin or sparse object costs little.
  std::vector<std::vector<Run>> grid_;
  // Faces binned by height: bucket b holds, in face order, the faces whose z
  // range meets it; faces spanning many buckets are kept apart in `tall_`.
  double bucketHeight_ = 0;
  std::vector<uint32_t> bucketStart_;
  std::vector<int32_t> bucketFaces_;
  std::vector<int32_t> tall_;
  double r_ = 0, firstZ_ = 0, lastZ_ = 0;
  int32_t layers_ = 0, rows_ = 0, cols_ = 0;
};
