// Solver state: construction, set-up, particle slots, sources, bounds.
#include "fluid_core/solver.h"

#include <algorithm>
#include <cmath>

ColliderMesh::ColliderMesh() = default;

void ColliderMesh::ComputeFaceData(float margin) {
  const int nf = FaceCount();
  faceArea2.assign(nf, 0.0f);
  faceNormal.assign(nf, Vec3f());
  faceBox.assign(size_t(nf) * 6, 0.0f);
  Vec3BoundsInit(bounds);
  auto vert = [&](int v) {
    const Point3& p = mesh.vertices[v];
    return Vec3f(p.x, p.y, p.z);
  };
  const int nv = int(mesh.vertices.size());
  for (int f = 0; f < nf; ++f) {
    const MeshFace& face = mesh.faces[f];
    float* box = &faceBox[size_t(f) * 6];
    if (face[0] < 0 || face[1] < 0 || face[2] < 0 || face[0] >= nv || face[1] >= nv || face[2] >= nv) {
      Vec3BoundsInit(box);  // an empty box: never entered
      continue;
    }
    Vec3f a = vert(face[0]), b = vert(face[1]), c = vert(face[2]);
    Vec3f n = Vec3Cross(b - a, c - a);
    faceArea2[f] = Vec3Length(n);
    if (Vec3NormalizeSafe(n)) faceNormal[f] = n;
    for (int axis = 0; axis < 3; ++axis) {
      box[axis] = std::min({a[axis], b[axis], c[axis]}) - margin;
      box[axis + 3] = std::max({a[axis], b[axis], c[axis]}) + margin;
      bounds[axis] = std::min(bounds[axis], box[axis]);
      bounds[axis + 3] = std::max(bounds[axis + 3], box[axis + 3]);
    }
  }
}

FluidSolver::FluidSolver(double n, float rho0, float frameLen) {
  particles.resize(kGrowStep);
  displayParticles.resize(kGrowStep);
  Vec3BoundsInit(bounds);
  frameTag = kFrameTag;
  frameCache.frameTag = kFrameTag;
  zUp = 1;
  grid = new CellGrid(Vec3f(), cellSize, this);
  Setup(n, rho0, frameLen, zUp != 0);
  neighbourReserve = 25;
}

FluidSolver::~FluidSolver() {
  if (grid) grid->Reset();
  delete grid;
  DeleteSources();
  for (ColliderMesh* c : colliders) delete c;
  colliders.clear();
}

void FluidSolver::DeleteSources() {
  for (SolverSource* s : sources) delete s;
  sources.clear();
}

void FluidSolver::Setup(double n, float rho0, float frameLen, bool up) {
  RecordsChanged();
  count = 0;
  restDensity = rho0;
  zUp = up ? 1 : 0;
  frameLength = frameLen;
  invRestDensity = 1.0f / rho0;
  SetParticleDensity(n);
  grid->SetCellSize(cellSize);
  grid->Clear();
  for (FluidParticle& p : particles) {
    p.dead = 0;
    p.isNew = 0;
  }
  killedCount = 0;
  badStepLimits = 0;
  // The engine adds its sources again after every set-up; the old records
  // are ours to free.
  DeleteSources();
  for (ColliderMesh* c : colliders) delete c;
  colliders.clear();
  skipFrictionAndBounce = 0;
}

void FluidSolver::SetParticleDensity(double n) {
  particlesPerVolume = n;
  h = 1.0f / (float)std::pow(n, 0.333333);
  cellSize = h * 1.3333f;
  hSquared = h * h;
  invH = 1.0f / h;
  kernelNorm = 1.0f / (12.566371f * h * h * h);
  particleMass = (float)(restDensity / n);
  adherenceScale = (float)(std::pow(n * 0.001, 0.333333) * 0.3);
}

bool FluidSolver::ReloadFrame(int frame, int storedCount) {
  if (!frameCache.FrameReadsWhole(frame)) return false;
  RecordsChanged();
  const int expected = frameCache.CountToRead(frame, storedCount);
  size_t target = particles.size();
  while (target < size_t(expected)) target += kGrowStep;
  if (target != particles.size()) {
    particles.resize(target);
    displayParticles.resize(target);
  }
  int read = frameCache.ReadFrame(frame, particles, 1.0f);
  if (read < 0) return false;
  if ((int)displayParticles.size() < (int)particles.size()) displayParticles.resize(particles.size());
  MarkExpiredParticles(particles, read);
  SetParticleDensity(particlesPerVolume);
  // The file keeps no `active` flag, so every particle read is in use.
  count = read;
  // A frame keeps no step limits: without this a reloaded slot would bound
  // the next sub-step by whatever its record held (0 for a fresh one).
  for (int i = 0; i < count; ++i) {
    particles[i].isNew = 0;
    particles[i].collided = 0;
    particles[i].dtLimit = 1e6f;
  }
  grid->SetCellSize(cellSize);
  grid->Clear();
  ComputeBounds();
  return true;
}

void FluidSolver::AddSource(const Vec3f& position) {
  SolverSource* s = new SolverSource();
  s->pos = position;
  s->prevPos = position;
  s->solver = this;
  s->sourceIndex = int(sources.size());
  sources.push_back(s);
}

void FluidSolver::GrowParticles() {
  particles.resize(particles.size() + kGrowStep);
  displayParticles.resize(displayParticles.size() + kGrowStep);
}

void FluidSolver::ReserveSlots(int n) {
  // The size that taking n slots one by one would grow to, reached in one
  // reallocation instead of one per block.
  size_t target = particles.size();
  while (target <= size_t(count) + size_t(std::max(n, 0))) target += kGrowStep;
  if (target != particles.size()) {
    particles.resize(target);
    displayParticles.resize(target);
  }
}

int FluidSolver::TakeSlot() {
  int slot = count++;
  if (count >= (int)particles.size()) GrowParticles();
  return slot;
}

void FluidSolver::PlaceParticle(int slot) {
  RecordsChanged();
  ClearPairList(slot);
  FluidParticle& p = particles[slot];
  p.neighbourCount = 0;
  p.pos = p.vel = p.accel = p.cohesion = p.pairAccel = p.texCoord = p.adhesion = Vec3f();
  p.collider = nullptr;
  p.density = p.pressureTerm = p.spacing = p.mass = p.clock = 0.0f;
  p.dtLimit = 1e6f;
  p.face = p.age = p.sourceIndex = p.fileNeighbourCount = 0;
  p.tag = 0;
  p.dead = 0;
  p.isNew = 0;
  p.active = 1;
  p.collided = 0;
}

void FluidSolver::AgeParticles() {
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) particles[i].age += 1;
}

void FluidSolver::ComputeBounds() {
  float x0 = 1e6f, y0 = 1e6f, z0 = 1e6f, x1 = -1e6f, y1 = -1e6f, z1 = -1e6f;
  const int n = count;
#pragma omp parallel for schedule(static) reduction(min : x0, y0, z0) reduction(max : x1, y1, z1) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    const FluidParticle& p = particles[i];
    if (p.dead) continue;
    x0 = std::min(x0, p.pos.x); y0 = std::min(y0, p.pos.y); z0 = std::min(z0, p.pos.z);
    x1 = std::max(x1, p.pos.x); y1 = std::max(y1, p.pos.y); z1 = std::max(z1, p.pos.z);
  }
  bounds[0] = x0; bounds[1] = y0; bounds[2] = z0;
  bounds[3] = x1; bounds[4] = y1; bounds[5] = z1;
}

int FluidSolver::LiveCount() const {
  int live = 0;
  const int n = count;
#pragma omp parallel for schedule(static) reduction(+ : live) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) live += particles[i].dead ? 0 : 1;
  return live;
}

void FluidSolver::MarkExpiredParticles(std::vector<FluidParticle>& list, int n) const {
  n = std::min(n, (int)list.size());
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = list[i];
    p.dead = Expired(p.sourceIndex, p.age, p.pos) ? 1 : 0;
  }
}

bool FluidSolver::Expired(int32_t s, int32_t age, const Vec3f& pos) const {
  const bool old = !sources.empty() && s >= 0 && s < (int)sources.size() && age > sources[size_t(s)]->lifeFrames;
  return old || Vec3Equal(pos, parkingPos);
}

int FluidSolver::WriteFrame(int frame, std::vector<unsigned char>* written) {
  return frameCache.WriteFrame(frame, count, stamp, particlesPerVolume, *this, written);
}

int FluidSolver::WriteEmptyFrame(int frame) {
  return frameCache.WriteFrame(frame, 0, stamp, particlesPerVolume, *this);
}

float FluidSolver::MaxStableStep() {
  if (keptCount_ >= 0 && keptCount_ == count) {
    badStepLimits += keptBad_;
    return std::min(frameLength * 0.16666667f, keptBound_);
  }
  float m = frameLength * 0.16666667f;
  const int n = count;
  long bad = 0;
#pragma omp parallel for schedule(static) reduction(min : m) reduction(+ : bad) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    const float limit = particles[i].dtLimit;
    if (limit >= 0.0f)
      m = std::min(m, limit);
    else
      ++bad;
  }
  badStepLimits += bad;
  return m;
}
