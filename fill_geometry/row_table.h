// Stable multi-key sorts of row tables: each row is an array of ncols values;
// the values are moved between rows, the row pointers stay where they are.
#pragma once

#include <cstdint>

namespace fillgeo {

// Ascending by the key columns, most significant first. Rows equal in every
// key keep their input order; values compare with < and > only (so NaN
// compares equal). n <= 0, nkeys <= 0 or a key column outside 0 .. ncols-1
// leaves the table unchanged.
void SortRowsByDoubleKeys(double** table, int32_t n, uint16_t ncols, const int16_t* keys,
                          int16_t nkeys);
void SortRowsByIntKeys(int32_t** table, int32_t n, uint16_t ncols, const int16_t* keys,
                       int16_t nkeys);

}  // namespace fillgeo
