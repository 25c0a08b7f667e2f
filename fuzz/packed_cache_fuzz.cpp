// Packed caches (the one-file ".Vor" copy of a cache folder): the index
// check, and unpacking what it accepts into a scratch folder.
#include "fluid_core/packed_cache.h"
#include "fuzz/fuzz_support.h"
#include "host/core/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  const std::string path = WriteInput("cache.Vor", data, size);
  PackedCacheIndex index;
  if (ReadPackedCacheIndex(path, index) != PackedCacheStatus::kOk) {
    Require(index.frames == 0 && index.meshes == 0);
    return 0;
  }
  // An accepted index accounts for every byte of the file.
  int64_t total = PackedCacheFile::kHeaderSize + 4 * int64_t(index.frames + index.meshes);
  for (int32_t l : index.frameLengths) total += l;
  for (int32_t l : index.meshLengths) total += l;
  Require(total == int64_t(size));
  FrameCache target;
  target.folderOverride = ScratchFolder() + "/unpacked/";
  UnpackedCache out;
  UnpackPackedCache(path, index, target, out);
  Require(out.lastSolved < index.frames);
  return 0;
}
