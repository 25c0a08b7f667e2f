// Tab<T>: the host's growable table of plain values, kept on a std::vector.
// New entries made by SetCount/Resize are value-initialised (zero for numbers
// and pointers), so callers never read leftovers.
#pragma once
#include <algorithm>
#include <vector>

template <class T>
class Tab {
 public:
  Tab() = default;
  int Count() const { return int(v_.size()); }
  bool empty() const { return v_.empty(); }
  void ZeroCount() { v_.clear(); }
  void Init() { v_.clear(); }
  void SetCount(int n) { v_.resize(n > 0 ? size_t(n) : 0); }
  // Grows the capacity only (the count stays).
  void Resize(int n) { if (n > 0) v_.reserve(size_t(n)); }
  void Shrink() { v_.shrink_to_fit(); }
  T& operator[](int i) { return v_[size_t(i)]; }
  const T& operator[](int i) const { return v_[size_t(i)]; }
  T* Addr(int i) { return v_.data() + i; }
  const T* Addr(int i) const { return v_.data() + i; }
  // Appends n items from el; returns the index of the first appended one.
  int Append(int n, const T* el, int /*allocExtra*/ = 0) {
    int at = Count();
    if (n > 0 && el) v_.insert(v_.end(), el, el + n);
    return at;
  }
  int Append(const T& el) { v_.push_back(el); return Count() - 1; }
  // Inserts n items at index at (clamped to the end); returns at.
  int Insert(int at, int n, const T* el) {
    if (at < 0) at = 0;
    if (at > Count()) at = Count();
    if (n > 0 && el) v_.insert(v_.begin() + at, el, el + n);
    return at;
  }
  // Deletes num items from start (clipped to the table); returns the new count.
  int Delete(int start, int num) {
    if (start < 0 || start >= Count() || num <= 0) return Count();
    int end = std::min(Count(), start + num);
    v_.erase(v_.begin() + start, v_.begin() + end);
    return Count();
  }
  void Sort(int (*cmp)(const void*, const void*)) {
    std::stable_sort(v_.begin(), v_.end(), [cmp](const T& a, const T& b) { return cmp(&a, &b) < 0; });
  }
  std::vector<T>& vec() { return v_; }
  const std::vector<T>& vec() const { return v_; }
  typename std::vector<T>::iterator begin() { return v_.begin(); }
  typename std::vector<T>::iterator end() { return v_.end(); }
  typename std::vector<T>::const_iterator begin() const { return v_.begin(); }
  typename std::vector<T>::const_iterator end() const { return v_.end(); }

 private:
  std::vector<T> v_;
};
