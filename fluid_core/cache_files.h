// Deleting cache files by name pattern: the one clean-up step that the GPU
// front-end's cache directories and the particle wrapper's caches share.
// Plain file-system work with no plug-in state, so any plug-in may link it.
#pragma once
#include <string>

// Deletes every plain file of dir whose name matches pattern ("*" and "?",
// case-insensitive as the host's file listing is; "*.bin" when pattern is
// empty or null). Sub-folders that match are left alone. Returns the number
// of files actually deleted: a file that could not be deleted is not
// counted, and a missing or unlistable folder gives 0.
int DeleteCacheFiles(const std::string& dir, const char* pattern = "*.bin");
