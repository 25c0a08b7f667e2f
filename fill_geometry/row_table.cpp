#include "fill_geometry/row_table.h"

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

namespace fillgeo {

namespace {

// The natural merge sort itself, not a library sort with the same test: with
// NaN keys the test is no strict order, and then only this exact sequence of
// comparisons gives the table the callers have always had.
template <typename T>
void SortRows(T** table, int32_t n, uint16_t ncols, const int16_t* keys, int16_t nkeys) {
  if (n <= 1 || nkeys <= 0 || table == nullptr || keys == nullptr) return;
  // A key outside the row would read past it: such a table is left as it is.
  for (int16_t k = 0; k < nkeys; ++k)
    if (keys[k] < 0 || keys[k] >= ncols) return;
  // Row a comes strictly before row b: smaller in the first key column where
  // they differ by the less-than and greater-than tests.
  auto before = [&](int32_t a, int32_t b) {
    for (int16_t k = 0; k < nkeys; ++k) {
      T va = table[a][keys[k]], vb = table[b][keys[k]];
      if (va < vb) return true;
      if (va > vb) return false;
    }
    return false;
  };
  std::vector<int32_t> order(static_cast<size_t>(n)), other(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::vector<std::pair<int32_t, int32_t>> runs, merged;
  int32_t start = 0;
  for (int32_t i = 0; i + 1 < n; ++i)
    if (before(order[i + 1], order[i])) {
      runs.push_back({start, i});
      start = i + 1;
    }
  runs.push_back({start, n - 1});
  while (runs.size() > 1) {
    merged.clear();
    for (size_t r = 0; r < runs.size(); r += 2) {
      int32_t out = runs[r].first;
      if (r + 1 == runs.size()) {
        for (int32_t i = runs[r].first; i <= runs[r].second; ++i) other[out++] = order[i];
        merged.push_back(runs[r]);
        continue;
      }
      int32_t i = runs[r].first, j = runs[r + 1].first;
      const int32_t iEnd = runs[r].second, jEnd = runs[r + 1].second;
      // The left row goes first unless it comes after the right one, so
      // equal rows keep their order.
      while (i <= iEnd && j <= jEnd) other[out++] = before(order[j], order[i]) ? order[j++] : order[i++];
      while (i <= iEnd) other[out++] = order[i++];
      while (j <= jEnd) other[out++] = order[j++];
      merged.push_back({runs[r].first, jEnd});
    }
    order.swap(other);
    runs.swap(merged);
  }
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
