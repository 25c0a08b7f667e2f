#include "host/runner/surface_check.h"

#include "host/core/files.h"
#include "mesher/mesh_check.h"
#include "mesher/mesh_record.h"

bool RunMeshCheck(const std::string& rest, std::ostream& out, std::string& err) {
  std::string path = rest;
  while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) path.pop_back();
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  if (path.empty()) {
    err = "usage: meshcheck <surface file | folder>";
    return false;
  }
  std::vector<std::string> files;
  if (vorel::host::DirectoryExists(path)) {
    for (const std::string& name : vorel::host::ListFiles(path, "m*.bin")) files.push_back(path + "/" + name);
  } else {
    files.push_back(path);
  }
  if (files.empty()) {
    err = "no surface file (m*.bin) in " + path;
    return false;
  }
  int good = 0;
  for (const std::string& file : files) {
    MeshRecord mesh;
    MeshFileStatus status = MeshFileStatus::Ok;
    if (!mesh.ReadSurfaceCache(file, &status)) {
      err = "cannot read " + file + ": " + MeshFileStatusText(status);
      return false;
    }
    const MeshCheck c = CheckMesh(mesh);
    if (c.Sound()) {
      ++good;
      continue;
    }
    out << file << ": not a closed 2-manifold enclosing a volume: " << c.boundaryEdges << " boundary edges, "
        << c.nonManifoldEdges << " edges with more than two faces, " << c.misorientedEdges
        << " directed edges used twice, " << c.nonManifoldVertices << " non-manifold vertices, " << c.degenerateFaces
        << " degenerate faces, " << c.zeroAreaFaces << " faces of zero area, " << c.unusedVertices
        << " unused vertices, volume " << c.volume << "\n";
  }
  out << "meshcheck: " << good << " of " << files.size() << " surface files are closed 2-manifolds\n";
  if (good != int(files.size())) {
    err = std::to_string(files.size() - size_t(good)) + " of " + std::to_string(files.size()) +
          " surface files are not closed 2-manifolds enclosing a volume";
    return false;
  }
  return true;
}
