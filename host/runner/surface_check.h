// The "meshcheck" command of vorel-host: reads surface mesh files (one, or
// every m*.bin of a folder) and says whether each is a closed, consistently
// oriented 2-manifold that encloses a volume (CheckMesh's Sound). Scenes use
// it on the surfaces a pour writes.
#pragma once
#include <ostream>
#include <string>

// Runs the command on `rest` (the path, as written). Prints one line per
// file that is not sound, with its counts, then "meshcheck: <n> of <m>
// surface files are closed 2-manifolds". False, with the reason in err, when
// the path names no surface file, a file cannot be read, or any file is not
// sound (faces of zero area, unused vertices and a volume at or below zero
// fail it as open edges do).
bool RunMeshCheck(const std::string& rest, std::ostream& out, std::string& err);
