// Material libraries: a list of materials that a plug-in or the material
// editor keeps, and the library file (".mat") the core interface loads them
// from and saves them to (Interface::LoadMaterialLib / SaveMaterialLib).
#pragma once
#include <string>

#include "host/sdk/object.h"

// Holds a reference to each of its materials: a material that no node or
// other library uses goes with the library.
class MtlBaseLib : public ReferenceMaker {
 public:
  MtlBaseLib() = default;
  MtlBaseLib(const MtlBaseLib&) = delete;
  MtlBaseLib& operator=(const MtlBaseLib&) = delete;
  ~MtlBaseLib() override { DeleteAllRefs(); }

  int Count() const { return int(mtls_.size()); }
  Mtl* operator[](int i) const { return i >= 0 && i < Count() ? mtls_[size_t(i)] : nullptr; }
  // The index of the first material of exactly that name, or -1.
  int FindMtlByName(const std::string& name) const;
  // Appends a material (a null one is ignored).
  void Add(Mtl* m);
  void DeleteAll();

  int NumRefs() override { return Count(); }
  RefTargetHandle GetReference(int i) override { return (*this)[i]; }
  void SetReference(int i, RefTargetHandle rtarg) override;

 private:
  std::vector<Mtl*> mtls_;
};
