// Cadenas: the owning collection of chains, with the operations on loose
// chains (duplicates, end matching, linking into closed outlines) and the
// assembly of regions from them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "fill_geometry/cadena.h"

class Recintos;

class Cadenas {
 public:
  Cadenas();
  virtual ~Cadenas();
  Cadenas(const Cadenas&) = delete;
  Cadenas& operator=(const Cadenas&) = delete;

  // Appends a valid chain to an open set (the set owns it); else nothing.
  void Add(Cadena* chain);
  // Appends every chain of the other set (pointers shared) when both are open.
  void AddAll(const Cadenas& other);
  // Forgets the chains without deleting them (count unchanged).
  void Detach();
  bool Remove(int32_t i);
  Cadena* Get(int32_t i) const;
  int32_t Count() const { return static_cast<int32_t>(chains_.size()); }
  bool IsOpen() const { return open_; }
  // Invalidates every chain and refuses further changes.
  void Seal();

  // Rows {signed area, index} sorted ascending by area (stable).
  void AreaTable(std::vector<std::array<double, 2>>& table) const;
  bool FindNearChain(double x, double y, double d, int32_t& chainIndex, Cadena*& chain,
                     int32_t& segment, Punto2D*& foot) const;
  // Removes reversed twins (a chain and its reversed copy).
  void RemoveDuplicates();
  // One row per chain: {start matched, end matched}.
  void MatchEnds(double tol, std::vector<std::array<uint8_t, 2>>& table, bool& done) const;

  // `cancel`, when given, is asked every few thousand outlines (a section of
  // many parts takes long); once it answers true the work stops: LinkChains
  // leaves the outlines made so far, Classify and AssembleRegions return
  // false.
  void LinkChains(double tol, Cadenas*& positive, Cadenas*& nonPositive, Cadenas*& unclosed,
                  bool option, const std::vector<std::array<uint8_t, 2>>* endTable = nullptr,
                  const std::function<bool()>& cancel = {}) const;
  bool Classify(Cadenas& positive, Cadenas& nonPositive, Recintos*& regions,
                Cadenas*& freeHoles, Cadenas*& rejects, double tol,
                const std::function<bool()>& cancel = {}) const;
  bool AssembleRegions(Recintos*& regions, Cadenas*& freeHoles, Cadenas*& rejects,
                       double tol, const std::function<bool()>& cancel = {}) const;
  bool BuildRegions(Recintos*& regions, double tol) const;

 private:
  std::vector<Cadena*> chains_;
  bool open_ = true;
  bool detached_ = false;
};
