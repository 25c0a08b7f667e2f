// Material libraries and their files: "VORELMTL", a version word, then one
// chunk holding the material count and each material's own chunks. A load
// reads the whole file aside and replaces the library only when every
// material it announces has been read.
#include "host/sdk/mtllib.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/core/files.h"
#include "host/sdk/interface.h"

namespace {

constexpr char kMagic[8] = {'V', 'O', 'R', 'E', 'L', 'M', 'T', 'L'};
constexpr uint32_t kVersion = 1;
enum : uint16_t { CH_LIBRARY = 0x0001, CH_COUNT = 0x0002, CH_MTL = 0x0010 };
// Far beyond any library a person keeps; a larger count is a damaged file.
constexpr uint32_t kMaxMaterials = 1u << 16;

bool ReadLibrary(const std::string& path, std::vector<Mtl*>& out, std::string& err) {
  const std::string corrupt = path + " is truncated or corrupt";
  std::FILE* f = vorel::host::OpenFile(path, "rb");
  if (!f) {
    err = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> all;
  uint8_t buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.insert(all.end(), buf, buf + n);
  const bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (readError) {
    err = "cannot read " + path;
    return false;
  }
  if (!CheckChunkFileHeader(all, kMagic, kVersion, path, "a material library", "material library", err))
    return false;
  ILoad l(std::vector<uint8_t>(all.begin() + 12, all.end()));
  if (!l.StructureValid() || l.OpenChunk() != IO_OK || l.CurChunkID() != CH_LIBRARY) {
    err = corrupt;
    return false;
  }
  // The count comes first: a file cut at a material's boundary still has a
  // sound structure, and must not load as a shorter library.
  uint32_t count = 0;
  bool ok = l.OpenChunk() == IO_OK && l.CurChunkID() == CH_COUNT && l.Read(&count, 4) == IO_OK &&
            count <= kMaxMaterials;
  if (ok) l.CloseChunk();
  IOResult res = IO_OK;
  while (ok && (res = l.OpenChunk()) == IO_OK) {
    if (l.CurChunkID() == CH_MTL) {
      Mtl* m = new Mtl();
      out.push_back(m);
      const Point3& c = m->diffuse;
      ok = m->Load(&l) == IO_OK && std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z);
    }
    l.CloseChunk();
  }
  if (!ok || res != IO_END || out.size() != count) {
    for (Mtl* m : out) m->DeleteThis();
    out.clear();
    err = corrupt;
    return false;
  }
  return true;
}

}  // namespace

int MtlBaseLib::FindMtlByName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (mtls_[size_t(i)] && mtls_[size_t(i)]->GetName() == name) return i;
  return -1;
}

void MtlBaseLib::Add(Mtl* m) {
  if (m) ReplaceReference(Count(), m);
}

void MtlBaseLib::DeleteAll() {
  DeleteAllRefs();
  mtls_.clear();
}

void MtlBaseLib::SetReference(int i, RefTargetHandle rtarg) {
  if (i < 0) return;
  if (i >= Count()) mtls_.resize(size_t(i + 1), nullptr);
  mtls_[size_t(i)] = dynamic_cast<Mtl*>(rtarg);
}

int Interface::LoadMaterialLib(const char* name, MtlBaseLib* lib) {
  file_error_.clear();
  if (!name || !lib) {
    file_error_ = "no material library named";
    return 0;
  }
  std::vector<Mtl*> read;
  if (!ReadLibrary(name, read, file_error_)) return 0;
  lib->DeleteAll();
  for (Mtl* m : read) lib->Add(m);
  return 1;
}

int Interface::SaveMaterialLib(const char* name, MtlBaseLib* lib) {
  file_error_.clear();
  if (!name || !lib) {
    file_error_ = "no material library named";
    return 0;
  }
  const std::string path = name;
  ISave s;
  s.BeginChunk(CH_LIBRARY);
  s.BeginChunk(CH_COUNT);
  const uint32_t count = uint32_t(lib->Count());
  s.Write(&count, 4);
  s.EndChunk();
  for (int i = 0; i < lib->Count(); ++i) {
    s.BeginChunk(CH_MTL);
    if (Mtl* m = (*lib)[i]) m->Save(&s);
    s.EndChunk();
  }
  s.EndChunk();
  // Written aside and renamed: a failed save never damages the old file.
  const std::string tmp = path + ".tmp";
  std::FILE* f = vorel::host::OpenFile(tmp, "wb");
  bool ok = f != nullptr;
  if (ok) {
    ok = std::fwrite(kMagic, 1, sizeof kMagic, f) == sizeof kMagic &&
         std::fwrite(&kVersion, 4, 1, f) == 1 &&
         std::fwrite(s.Bytes().data(), 1, s.Bytes().size(), f) == s.Bytes().size();
    ok = std::fclose(f) == 0 && ok;
  }
  if (!ok || std::rename(vorel::host::NormalizePath(tmp).c_str(), vorel::host::NormalizePath(path).c_str()) != 0) {
    if (f) std::remove(vorel::host::NormalizePath(tmp).c_str());
    file_error_ = "cannot write " + path;
    return 0;
  }
  return 1;
}
