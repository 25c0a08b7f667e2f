// Moving a fluid system's cache files to another folder and finding how far
// the frames on disk reach; the engine's cache-directory operations use these.
#pragma once
#include <string>

#include "fluid_core/frame_cache.h"

// Files a move leaves in the system folders while it runs and after it: the
// old folder's "Vorel.moved" names the root the cache went to (written once
// every copy is whole, before any old file is deleted, and kept, so that a
// scene saved before the move follows it); the new folder's "Vorel.moving"
// names the folder it is copied from until the copy is whole.
constexpr const char* kMovedMarker = "Vorel.moved";
constexpr const char* kMovingMarker = "Vorel.moving";

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
// is copied or deleted. A target folder that holds frames or meshes of
// another cache (not an unfinished copy from `oldFolder`) is refused
// (failed 1, failure "<folder>: holds another cache"), nothing touched.
// The markers above say at every moment which folder holds the whole cache
// (TraceCacheMove), whatever point a killed process stopped at.
CacheMoveResult MoveCacheFiles(const std::string& oldFolder, const FrameCache& target, int lastSolved,
                               int lastMeshed);

// Tests: called with 0, 1, ... before each file a move writes, renames or
// deletes (null: none); setting it starts the count again.
void SetCacheMoveHook(void (*hook)(int));

// Where a cache found at <root>/Vorel/<name> lies whole after the moves that
// its markers record: `root` is changed to the root of that folder, and
// `note` (empty when the folder found is the whole cache and no move was
// under way) says which folder was taken and why. Chains of moves are
// followed; a move whose copy did not finish leaves the cache where it was.
void TraceCacheMove(std::string& root, const std::string& name, std::string& note);

enum class FolderClaim {
  kClaimed,       // the folder is new: this system's alone
  kTaken,         // something (a folder, a file, a link) already has the name
  kCannotCreate,  // the root cannot hold it (missing rights, a full disk...)
};
// Makes <root>/Vorel/<name> in one step that fails when anything already
// has the name, so that no two systems, of this process or another, ever
// share a cache folder; then its surface/ and maps/ folders.
FolderClaim ClaimCacheFolder(const std::string& root, const std::string& name);

// A solve's hold on its cache folder: one process writes a folder's frames
// at a time. The lock file "Vorel.lock" in the folder holds the pid of the
// process that took it last; the lock itself is the kernel's (flock), which
// a killed process loses at once, so a lock file left behind is taken over.
class CacheFolderLock {
 public:
  CacheFolderLock() = default;
  ~CacheFolderLock() { Release(); }
  CacheFolderLock(const CacheFolderLock&) = delete;
  CacheFolderLock& operator=(const CacheFolderLock&) = delete;
  // True when this object holds the folder's lock (taken now or before;
  // a lock on another folder is given up first). False with `failure` =
  // "the cache folder <folder> is in use by another solve (process <pid>)",
  // or "<lock file>: <reason>" when the lock file cannot be opened.
  bool Acquire(const std::string& folder, std::string& failure);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string folder_;
};

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
