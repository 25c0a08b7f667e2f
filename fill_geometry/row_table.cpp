#include "fill_geometry/row_table.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace fillgeo {

namespace {

// A stable sort is unique for a given ordering, so std::stable_sort gives the
// same table as a natural merge sort with the same comparison.
template <typename T>
void SortRows(T** table, int32_t n, uint16_t ncols, const int16_t* keys, int16_t nkeys) {
  if (n <= 1 || nkeys <= 0 || table == nullptr || keys == nullptr) return;
  // A key outside the row would read past it: such a table is left as it is.
  for (int16_t k = 0; k < nkeys; ++k)
    if (keys[k] < 0 || keys[k] >= ncols) return;
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  auto before = [&](int32_t a, int32_t b) {
    for (int16_t k = 0; k < nkeys; ++k) {
      T va = table[a][keys[k]], vb = table[b][keys[k]];
      if (va < vb) return true;
      if (va > vb) return false;
    }
    return false;
  };
  std::stable_sort(order.begin(), order.end(), before);
  std::vector<T> copy(static_cast<size_t>(n) * ncols);
  for (int32_t i = 0; i < n; ++i)
    std::copy(table[order[i]], table[order[i]] + ncols, copy.begin() + static_cast<size_t>(i) * ncols);
  for (int32_t i = 0; i < n; ++i)
    std::copy(copy.begin() + static_cast<size_t>(i) * ncols,
              copy.begin() + static_cast<size_t>(i + 1) * ncols, table[i]);
}

}  // namespace

void SortRowsByDoubleKeys(double** table, int32_t n, uint16_t ncols, const int16_t* keys,
                          int16_t nkeys) {
  SortRows(table, n, ncols, keys, nkeys);
}

void SortRowsByIntKeys(int32_t** table, int32_t n, uint16_t ncols, const int16_t* keys,
                       int16_t nkeys) {
  SortRows(table, n, ncols, keys, nkeys);
}

}  // namespace fillgeo
