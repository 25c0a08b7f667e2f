// BitArray: the host's fixed-size bit set used for vertex and face selections.
#pragma once
#include <cstddef>
#include <vector>

class BitArray {
 public:
  BitArray() = default;
  explicit BitArray(int n) : b_(n > 0 ? size_t(n) : 0, false) {}
  int GetSize() const { return int(b_.size()); }
  // Resizes; with save the kept bits stay, new bits are clear.
  void SetSize(int n, int save = 0) {
    if (!save) b_.assign(n > 0 ? size_t(n) : 0, false);
    else b_.resize(n > 0 ? size_t(n) : 0, false);
  }
  void Set(int i) { if (In(i)) b_[size_t(i)] = true; }
  void Set(int i, int on) { if (In(i)) b_[size_t(i)] = on != 0; }
  void Clear(int i) { if (In(i)) b_[size_t(i)] = false; }
  void SetAll() { b_.assign(b_.size(), true); }
  void ClearAll() { b_.assign(b_.size(), false); }
  bool operator[](int i) const { return In(i) && b_[size_t(i)]; }
  int NumberSet() const {
    int n = 0;
    for (bool v : b_) n += v ? 1 : 0;
    return n;
  }
  bool IsEmpty() const { return NumberSet() == 0; }
  bool operator==(const BitArray& o) const { return b_ == o.b_; }

 private:
  bool In(int i) const { return i >= 0 && size_t(i) < b_.size(); }
  std::vector<bool> b_;
};
