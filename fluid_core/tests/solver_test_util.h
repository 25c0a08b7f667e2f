// Shared helpers of the solver tests: scratch folders, small colliders and
// particles placed by hand.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fluid_core/cache_folders.h"
#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"
#include "host/core/files.h"
#include "host/tests/core/scratch_dirs.h"

namespace solver_test {

inline std::string ScratchDir(const std::string& name) { return vorel::test::FreshScratchDir("vorel_solver_", name); }

// A solver for tests: n particles per unit volume, rest density 1000,
// 30 frames a second, no Escape unless a test asks for it.
inline FluidSolver* MakeSolver(double n = 1000.0) {
  solver_host::SetAbortTest([] { return false; });
  return new FluidSolver(n, 1000.0f, 1.0f / 30.0f);
}

// Places a live, active particle of spacing s (mass rho0 s^3).
inline int Put(FluidSolver& s, const Vec3f& pos, float spacing = 0.1f, const Vec3f& vel = Vec3f()) {
  std::vector<Vec3f> pts{pos};
  s.AddParticles(1.0f / spacing, 0, pts, 1, 0.0f, 0, 1);
  FluidParticle& p = s.particles[s.count - 1];
  p.vel = vel;
  p.spacing = spacing;
  p.mass = 1000.0f * spacing * spacing * spacing;
  return s.count - 1;
}

inline ColliderMesh* Triangle(const Vec3f& a, const Vec3f& b, const Vec3f& c, float margin = 0.5f) {
  ColliderMesh* m = new ColliderMesh();
  m->mesh.vertices = {Point3(a.x, a.y, a.z), Point3(b.x, b.y, b.z), Point3(c.x, c.y, c.z)};
  m->mesh.faces = {{0, 1, 2}};
  m->ComputeFaceData(margin);
  return m;
}

// A square floor at height z spanning [-half, half]^2, normal +z; face boxes
// grown by margin.
inline ColliderMesh* Floor(float z, float half, float margin = 0.5f) {
  ColliderMesh* m = new ColliderMesh();
  m->mesh.vertices = {Point3(-half, -half, z), Point3(half, -half, z), Point3(half, half, z),
                      Point3(-half, half, z)};
  m->mesh.faces = {{0, 1, 2}, {0, 2, 3}};
  m->ComputeFaceData(margin);
  return m;
}

inline std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> b;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back((unsigned char)c);
    std::fclose(f);
  }
  return b;
}

inline void WriteAll(const std::string& path, const std::vector<unsigned char>& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

// A child process that takes the cache folder's lock and holds it until
// killed (EndLockHolder); its pid, or -1 when it could not take the lock.
inline pid_t HoldCacheLockInChild(const std::string& folder) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t holder = fork();
  if (holder == 0) {
    CacheFolderLock lock;
    std::string why;
    const char ok = lock.Acquire(folder, why) ? 1 : 0;
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char ok = 0;
  const bool held = holder > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
  close(ready[0]);
  close(ready[1]);
  if (!held && holder > 0) {
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
  }
  return held ? holder : -1;
}

inline void EndLockHolder(pid_t holder) {
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

}  // namespace solver_test
