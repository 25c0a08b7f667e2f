// Moving a fluid system's cache files to another folder and finding how far
// the frames on disk reach; the engine's cache-directory operations use these.
#pragma once
#include <string>

#include "fluid_core/frame_cache.h"

struct CacheMoveResult {
  bool sameFolder = false;  // old and new folder are one: nothing was touched
  int moved = 0;            // files now only in the new folder
  int missing = 0;          // files the tables name that the old folder lacks
  int failed = 0;           // files that could not be copied whole
  std::string failure;      // the first of them and why: "<file>: <reason>"
};

// Creates the folders of `target` with their parents (root, root/Vorel, the system folder,
// surface/ and maps/), then moves meshes 0..lastMeshed and frames
// 0..lastSolved from `oldFolder` (a system folder, with or without a trailing
// separator) into them: every file is copied and its copy checked byte for
// byte, and only when all copies are whole are the old files deleted. When
// any copy fails the copies made are removed again and the old folder keeps
// the whole cache (moved 0). When both folders are the same folder nothing
// is copied or deleted.
CacheMoveResult MoveCacheFiles(const std::string& oldFolder, const FrameCache& target, int lastSolved,
                               int lastMeshed);

// The highest frame 0..from whose file the frame reader takes whole
// (FrameCache::FrameReadsWhole: a file that is cut, of a count that does not
// fit its length, or holding a NaN or a particle of no spacing or mass is
// passed over), or -1 when none does.
int LastFrameOnDisk(const FrameCache& cache, int from);

// True when two paths name the same existing folder (links and separators
// resolved).
bool SameFolder(const std::string& a, const std::string& b);

// The folder of a scene file as an absolute path: a relative scene path
// (a scene saved as "pour.vsc") resolves against the working folder, so that
// a cache beside the scene never lands at the file system's root. Empty for
// an unnamed scene, or when the working folder cannot be read.
std::string SceneFolder(const std::string& scenePath);
