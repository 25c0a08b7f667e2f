#include "mesher/cube_tables.h"

#include <array>
#include <set>
#include <cmath>
#include <utility>
#include <vector>

namespace cube_tables {

const int kCornerOffset[8][3] = {{-1, -1, -1}, {-1, 0, -1}, {0, 0, -1}, {0, -1, -1},
                                 {-1, -1, 0},  {-1, 0, 0},  {0, 0, 0},  {0, -1, 0}};
const int kFaceOffset[6][3] = {{-1, 0, 0}, {0, 0, -1}, {0, -1, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
const uint32_t kFaceMask[6] = {51, 15, 153, 240, 102, 204};
const int kFaceShared[6][4][2] = {{{6, 5}, {7, 4}, {3, 0}, {2, 1}}, {{6, 2}, {7, 3}, {5, 1}, {4, 0}},
                                  {{1, 0}, {2, 3}, {5, 4}, {6, 7}}, {{0, 4}, {1, 5}, {2, 6}, {3, 7}},
                                  {{0, 1}, {3, 2}, {4, 5}, {7, 6}}, {{0, 3}, {1, 2}, {4, 7}, {5, 6}}};
const int kEdgeCorners[12][2] = {{0, 3}, {3, 7}, {4, 7}, {0, 4}, {1, 2}, {2, 6},
                                 {5, 6}, {1, 5}, {0, 1}, {2, 3}, {4, 5}, {6, 7}};
const int8_t kTriangleTable[256][15] = {
    {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  8,  3, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  7,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  3,  0,  7,  3,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  5,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  5,  4,  0,  8,  3, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  7,  8,  5,  7,  9, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  3,  0,  9,  5,  3,  5,  7,  3, 12, 12, 12, 12, 12, 12},
    { 0,  1,  9, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1,  8,  3,  9,  8,  1, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  1,  9,  8,  4,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  1,  9,  4,  7,  1,  7,  3,  1, 12, 12, 12, 12, 12, 12},
    { 0,  5,  4,  1,  5,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  5,  4,  8,  3,  5,  3,  1,  5, 12, 12, 12, 12, 12, 12},
    { 0,  7,  8,  0,  1,  7,  1,  5,  7, 12, 12, 12, 12, 12, 12},
    { 1,  5,  3,  3,  5,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3, 10,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0, 10,  2,  8, 10,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  4,  7,  3, 10,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  4,  7, 10,  2,  4,  2,  0,  4, 12, 12, 12, 12, 12, 12},
    { 9,  5,  4,  2,  3, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0, 10,  2,  0,  8, 10,  4,  9,  5, 12, 12, 12, 12, 12, 12},
    { 7,  9,  5,  7,  8,  9,  3, 10,  2, 12, 12, 12, 12, 12, 12},
    { 9,  5,  7,  9,  7,  2,  9,  2,  0,  2,  7, 10, 12, 12, 12},
    { 1,  9,  0,  2,  3, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1, 10,  2,  1,  9, 10,  9,  8, 10, 12, 12, 12, 12, 12, 12},
    { 9,  0,  1,  8,  4,  7,  2,  3, 10, 12, 12, 12, 12, 12, 12},
    { 4,  7, 10,  9,  4, 10,  9, 10,  2,  9,  2,  1, 12, 12, 12},
    { 0,  5,  4,  0,  1,  5,  2,  3, 10, 12, 12, 12, 12, 12, 12},
    { 2,  1,  5,  2,  5,  8,  2,  8, 10,  4,  8,  5, 12, 12, 12},
    { 2,  3, 10,  0,  1,  8,  1,  7,  8,  1,  5,  7, 12, 12, 12},
    {10,  2,  1, 10,  1,  7,  7,  1,  5, 12, 12, 12, 12, 12, 12},
    { 7,  6, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  0,  8, 10,  7,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 6,  8,  4, 10,  8,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  6, 10,  3,  0,  6,  0,  4,  6, 12, 12, 12, 12, 12, 12},
    { 4,  9,  5,  7,  6, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  8,  3,  4,  9,  5, 10,  7,  6, 12, 12, 12, 12, 12, 12},
    { 6,  9,  5,  6, 10,  9, 10,  8,  9, 12, 12, 12, 12, 12, 12},
    { 3,  6, 10,  0,  6,  3,  0,  5,  6,  0,  9,  5, 12, 12, 12},
    { 0,  1,  9, 10,  7,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  1,  9,  8,  3,  1, 10,  7,  6, 12, 12, 12, 12, 12, 12},
    { 8,  6, 10,  8,  4,  6,  9,  0,  1, 12, 12, 12, 12, 12, 12},
    { 9,  4,  6,  9,  6,  3,  9,  3,  1, 10,  3,  6, 12, 12, 12},
    { 5,  0,  1,  5,  4,  0,  7,  6, 10, 12, 12, 12, 12, 12, 12},
    { 8,  7,  4,  3,  5, 10,  3,  1,  5,  5,  6, 10, 12, 12, 12},
    { 0, 10,  8,  0,  5, 10,  0,  1,  5,  5,  6, 10, 12, 12, 12},
    { 6, 10,  3,  6,  3,  5,  5,  3,  1, 12, 12, 12, 12, 12, 12},
    { 7,  2,  3,  6,  2,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  0,  8,  7,  6,  0,  6,  2,  0, 12, 12, 12, 12, 12, 12},
    { 8,  2,  3,  8,  4,  2,  4,  6,  2, 12, 12, 12, 12, 12, 12},
    { 0,  4,  2,  4,  6,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  2,  3,  7,  6,  2,  5,  4,  9, 12, 12, 12, 12, 12, 12},
    { 8,  7,  4,  9,  5,  0,  0,  5,  6,  0,  6,  2, 12, 12, 12},
    { 5,  8,  9,  5,  2,  8,  5,  6,  2,  3,  8,  2, 12, 12, 12},
    { 9,  5,  6,  9,  6,  0,  0,  6,  2, 12, 12, 12, 12, 12, 12},
    { 2,  7,  6,  2,  3,  7,  0,  1,  9, 12, 12, 12, 12, 12, 12},
    { 1,  6,  2,  1,  8,  6,  1,  9,  8,  8,  7,  6, 12, 12, 12},
    { 3,  8,  0,  1,  9,  2,  2,  9,  4,  2,  4,  6, 12, 12, 12},
    { 1,  9,  4,  1,  4,  2,  2,  4,  6, 12, 12, 12, 12, 12, 12},
    { 1,  5,  2,  5,  6,  2,  3,  4,  0,  3,  7,  4, 12, 12, 12},
    { 6,  2,  1,  6,  1,  5,  4,  8,  7, 12, 12, 12, 12, 12, 12},
    { 1,  5,  6,  1,  6,  2,  3,  8,  0, 12, 12, 12, 12, 12, 12},
    { 1,  5,  6,  2,  1,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {11,  6,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  8,  3,  5, 11,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 5, 11,  6,  4,  7,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  3,  0,  4,  7,  3,  6,  5, 11, 12, 12, 12, 12, 12, 12},
    {11,  4,  9,  6,  4, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4, 11,  6,  4,  9, 11,  0,  8,  3, 12, 12, 12, 12, 12, 12},
    { 7, 11,  6,  7,  8, 11,  8,  9, 11, 12, 12, 12, 12, 12, 12},
    { 0,  7,  3,  0, 11,  7,  0,  9, 11,  6,  7, 11, 12, 12, 12},
    { 9,  0,  1,  5, 11,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1,  8,  3,  1,  9,  8,  5, 11,  6, 12, 12, 12, 12, 12, 12},
    { 1,  9,  0,  5, 11,  6,  8,  4,  7, 12, 12, 12, 12, 12, 12},
    {11,  6,  5,  1,  9,  7,  1,  7,  3,  7,  9,  4, 12, 12, 12},
    {11,  0,  1, 11,  6,  0,  6,  4,  0, 12, 12, 12, 12, 12, 12},
    { 8,  3,  1,  8,  1,  6,  8,  6,  4,  6,  1, 11, 12, 12, 12},
    {11,  6,  7,  1, 11,  7,  1,  7,  8,  1,  8,  0, 12, 12, 12},
    {11,  6,  7, 11,  7,  1,  1,  7,  3, 12, 12, 12, 12, 12, 12},
    { 2,  3, 10, 11,  6,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  0,  8, 10,  2,  0, 11,  6,  5, 12, 12, 12, 12, 12, 12},
    { 3, 10,  2,  7,  8,  4, 11,  6,  5, 12, 12, 12, 12, 12, 12},
    { 5, 11,  6,  4,  7,  2,  4,  2,  0,  2,  7, 10, 12, 12, 12},
    {11,  4,  9, 11,  6,  4, 10,  2,  3, 12, 12, 12, 12, 12, 12},
    { 0,  8,  2,  2,  8, 10,  4,  9, 11,  4, 11,  6, 12, 12, 12},
    { 2,  3, 10, 11,  6,  8, 11,  8,  9,  8,  6,  7, 12, 12, 12},
    { 2,  0,  9,  2,  9, 11,  6,  7, 10, 12, 12, 12, 12, 12, 12},
    { 0,  1,  9,  2,  3, 10,  5, 11,  6, 12, 12, 12, 12, 12, 12},
    { 5, 11,  6,  1,  9,  2,  9, 10,  2,  9,  8, 10, 12, 12, 12},
    { 0,  1,  9,  4,  7,  8,  2,  3, 10,  5, 11,  6, 12, 12, 12},
    { 9,  4,  5, 11,  2,  1,  7, 10,  6, 12, 12, 12, 12, 12, 12},
    { 3, 10,  2,  0,  1,  6,  0,  6,  4,  6,  1, 11, 12, 12, 12},
    { 6,  4,  8,  6,  8, 10,  2,  1, 11, 12, 12, 12, 12, 12, 12},
    { 1, 11,  2,  3,  8,  0,  6,  7, 10, 12, 12, 12, 12, 12, 12},
    {11,  2,  1,  6,  7, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  5, 11,  7,  5, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  5, 11, 10,  7,  5,  8,  3,  0, 12, 12, 12, 12, 12, 12},
    { 5,  8,  4,  5, 11,  8, 11, 10,  8, 12, 12, 12, 12, 12, 12},
    { 5,  0,  4,  5, 10,  0,  5, 11, 10, 10,  3,  0, 12, 12, 12},
    { 4, 10,  7,  4,  9, 10,  9, 11, 10, 12, 12, 12, 12, 12, 12},
    { 4,  8,  7,  9, 10,  0,  9, 11, 10, 10,  3,  0, 12, 12, 12},
    { 9, 11,  8, 11, 10,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  0,  9,  3,  9, 10, 10,  9, 11, 12, 12, 12, 12, 12, 12},
    { 5, 10,  7,  5, 11, 10,  1,  9,  0, 12, 12, 12, 12, 12, 12},
    { 9,  8,  5,  8,  7,  5, 11,  3,  1, 11, 10,  3, 12, 12, 12},
    { 4,  5,  9,  0,  1,  8,  8,  1, 11,  8, 11, 10, 12, 12, 12},
    {11, 10,  3, 11,  3,  1,  9,  4,  5, 12, 12, 12, 12, 12, 12},
    { 1, 11, 10,  1, 10,  4,  1,  4,  0,  7,  4, 10, 12, 12, 12},
    { 3,  1, 11,  3, 11, 10,  7,  4,  8, 12, 12, 12, 12, 12, 12},
    { 0,  1, 11,  0, 11,  8,  8, 11, 10, 12, 12, 12, 12, 12, 12},
    { 3,  1, 11, 10,  3, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2,  5, 11,  2,  3,  5,  3,  7,  5, 12, 12, 12, 12, 12, 12},
    { 8,  2,  0,  8,  5,  2,  8,  7,  5, 11,  2,  5, 12, 12, 12},
    { 2,  5, 11,  3,  5,  2,  3,  4,  5,  3,  8,  4, 12, 12, 12},
    { 5, 11,  2,  5,  2,  4,  4,  2,  0, 12, 12, 12, 12, 12, 12},
    { 2,  9, 11,  2,  7,  9,  2,  3,  7,  7,  4,  9, 12, 12, 12},
    { 9, 11,  2,  9,  2,  0,  8,  7,  4, 12, 12, 12, 12, 12, 12},
    { 2,  3,  8,  2,  8, 11, 11,  8,  9, 12, 12, 12, 12, 12, 12},
    { 9, 11,  2,  0,  9,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {11,  2,  1,  9,  0,  5,  5,  0,  3,  5,  3,  7, 12, 12, 12},
    { 9,  8,  7,  9,  7,  5, 11,  2,  1, 12, 12, 12, 12, 12, 12},
    { 3,  8,  0,  1, 11,  2,  4,  5,  9, 12, 12, 12, 12, 12, 12},
    { 1, 11,  2,  9,  4,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  7,  4,  3,  4,  0,  1, 11,  2, 12, 12, 12, 12, 12, 12},
    { 1, 11,  2,  8,  7,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  3,  8,  1, 11,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1, 11,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2, 11,  1, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  3,  0,  2, 11,  1, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2, 11,  1,  4,  7,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  7,  3,  0,  4,  3,  2, 11,  1, 12, 12, 12, 12, 12, 12},
    { 2, 11,  1,  5,  4,  9, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  8,  3,  2, 11,  1,  9,  5,  4, 12, 12, 12, 12, 12, 12},
    { 7,  8,  9,  5,  7,  9,  1,  2, 11, 12, 12, 12, 12, 12, 12},
    { 1,  2, 11,  5,  0,  9,  3,  0,  5,  7,  3,  5, 12, 12, 12},
    { 2, 11,  9,  2,  9,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  3,  2, 11,  8,  2,  9,  8, 11, 12, 12, 12, 12, 12, 12},
    { 2, 11,  9,  0,  2,  9,  4,  7,  8, 12, 12, 12, 12, 12, 12},
    {11,  9,  2,  9,  7,  2,  7,  3,  2,  9,  4,  7, 12, 12, 12},
    { 2, 11,  5,  4,  2,  5,  0,  2,  4, 12, 12, 12, 12, 12, 12},
    {11,  5,  2,  2,  5,  3,  5,  4,  3,  4,  8,  3, 12, 12, 12},
    { 0,  2,  8,  2,  5,  8,  5,  7,  8,  5,  2, 11, 12, 12, 12},
    {11,  5,  2,  5,  3,  2,  5,  7,  3, 12, 12, 12, 12, 12, 12},
    {11,  1,  3, 11,  3, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {11,  1,  0,  8, 11,  0, 10, 11,  8, 12, 12, 12, 12, 12, 12},
    {11,  1,  3, 10, 11,  3,  8,  4,  7, 12, 12, 12, 12, 12, 12},
    {10, 11,  1,  4, 10,  1,  0,  4,  1, 10,  4,  7, 12, 12, 12},
    { 3, 10, 11,  1,  3, 11,  5,  4,  9, 12, 12, 12, 12, 12, 12},
    { 9,  5,  4,  8,  1,  0, 11,  1,  8, 10, 11,  8, 12, 12, 12},
    { 5,  8,  9,  5,  7,  8,  1,  3, 11,  3, 10, 11, 12, 12, 12},
    { 7, 10,  5, 10, 11,  5,  0,  9,  1, 12, 12, 12, 12, 12, 12},
    { 9,  0,  3, 10,  9,  3, 11,  9, 10, 12, 12, 12, 12, 12, 12},
    { 8, 11,  9,  8, 10, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  8,  4,  0, 10,  9, 10, 11,  9,  0,  3, 10, 12, 12, 12},
    { 7, 10,  4, 10,  9,  4, 10, 11,  9, 12, 12, 12, 12, 12, 12},
    { 4,  0,  5,  0, 10,  5, 10, 11,  5,  0,  3, 10, 12, 12, 12},
    { 4,  8,  5,  8, 11,  5,  8, 10, 11, 12, 12, 12, 12, 12, 12},
    {11,  5, 10,  5,  7, 10,  0,  3,  8, 12, 12, 12, 12, 12, 12},
    {11,  5, 10, 10,  5,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1,  2, 11, 10,  7,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2, 11,  1,  0,  8,  3, 10,  7,  6, 12, 12, 12, 12, 12, 12},
    { 8,  4,  6, 10,  8,  6, 11,  1,  2, 12, 12, 12, 12, 12, 12},
    { 2, 10,  3,  6,  1,  0,  4,  6,  0, 11,  1,  6, 12, 12, 12},
    { 5,  4,  9,  1,  2, 11,  6, 10,  7, 12, 12, 12, 12, 12, 12},
    { 9,  1,  0,  8,  7,  4, 10,  3,  2,  6, 11,  5, 12, 12, 12},
    { 6, 11,  5,  2,  9,  1,  2, 10,  9, 10,  8,  9, 12, 12, 12},
    { 9,  1,  0, 10,  3,  2,  6, 11,  5, 12, 12, 12, 12, 12, 12},
    { 9,  0,  2, 11,  9,  2, 10,  7,  6, 12, 12, 12, 12, 12, 12},
    {10,  3,  2,  8,  6, 11,  9,  8, 11,  7,  6,  8, 12, 12, 12},
    { 2,  8,  0, 10,  8,  2, 11,  9,  4,  6, 11,  4, 12, 12, 12},
    { 9,  4, 11,  4,  6, 11,  3,  2, 10, 12, 12, 12, 12, 12, 12},
    { 6, 11,  5,  2,  7,  4,  0,  2,  4, 10,  7,  2, 12, 12, 12},
    { 2, 10,  3,  4,  8,  7,  5,  6, 11, 12, 12, 12, 12, 12, 12},
    { 8,  0, 10,  0,  2, 10,  5,  6, 11, 12, 12, 12, 12, 12, 12},
    {10,  3,  2,  5,  6, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  6, 11,  1,  7, 11,  3,  7,  1, 12, 12, 12, 12, 12, 12},
    { 7,  6, 11,  7, 11,  1,  8,  7,  1,  0,  8,  1, 12, 12, 12},
    { 1,  3,  8,  6,  1,  8,  4,  6,  8, 11,  1,  6, 12, 12, 12},
    { 1,  0, 11,  0,  6, 11,  0,  4,  6, 12, 12, 12, 12, 12, 12},
    { 5,  6, 11,  7,  9,  1,  3,  7,  1,  4,  9,  7, 12, 12, 12},
    { 0,  9,  1,  6, 11,  5,  7,  4,  8, 12, 12, 12, 12, 12, 12},
    { 3,  8,  1,  8,  9,  1,  6, 11,  5, 12, 12, 12, 12, 12, 12},
    { 1,  0,  9,  6, 11,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  7,  0,  7, 11,  0, 11,  9,  0, 11,  7,  6, 12, 12, 12},
    { 6, 11,  7, 11,  8,  7, 11,  9,  8, 12, 12, 12, 12, 12, 12},
    { 6, 11,  4, 11,  9,  4,  3,  8,  0, 12, 12, 12, 12, 12, 12},
    { 9,  4, 11, 11,  4,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  3,  4,  3,  7,  4, 11,  5,  6, 12, 12, 12, 12, 12, 12},
    { 6, 11,  5,  8,  7,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  8,  0,  6, 11,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 5,  6, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 6,  5,  1,  6,  1,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 6,  5,  1,  2,  6,  1,  0,  8,  3, 12, 12, 12, 12, 12, 12},
    { 1,  2,  6,  5,  1,  6,  7,  8,  4, 12, 12, 12, 12, 12, 12},
    { 2,  5,  1,  2,  6,  5,  0,  4,  3,  4,  7,  3, 12, 12, 12},
    { 4,  9,  1,  2,  4,  1,  6,  4,  2, 12, 12, 12, 12, 12, 12},
    { 0,  8,  3,  2,  9,  1,  4,  9,  2,  6,  4,  2, 12, 12, 12},
    { 2,  6,  1,  6,  8,  1,  8,  9,  1,  6,  7,  8, 12, 12, 12},
    { 6,  7,  2,  7,  3,  2,  9,  1,  0, 12, 12, 12, 12, 12, 12},
    { 6,  5,  9,  0,  6,  9,  2,  6,  0, 12, 12, 12, 12, 12, 12},
    { 9,  8,  5,  8,  2,  5,  2,  6,  5,  2,  8,  3, 12, 12, 12},
    { 4,  7,  8,  0,  5,  9,  6,  5,  0,  2,  6,  0, 12, 12, 12},
    { 3,  2,  7,  2,  6,  7,  9,  4,  5, 12, 12, 12, 12, 12, 12},
    { 2,  4,  0,  2,  6,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  2,  8,  2,  4,  8,  2,  6,  4, 12, 12, 12, 12, 12, 12},
    { 8,  0,  7,  0,  6,  7,  0,  2,  6, 12, 12, 12, 12, 12, 12},
    { 3,  2,  7,  7,  2,  6, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3, 10,  6,  5,  3,  6,  1,  3,  5, 12, 12, 12, 12, 12, 12},
    { 8, 10,  0, 10,  5,  0,  5,  1,  0, 10,  6,  5, 12, 12, 12},
    { 4,  7,  8, 10,  5,  3,  5,  1,  3, 10,  6,  5, 12, 12, 12},
    { 1,  0,  5,  0,  4,  5, 10,  6,  7, 12, 12, 12, 12, 12, 12},
    { 6,  4,  9,  3,  6,  9,  1,  3,  9,  6,  3, 10, 12, 12, 12},
    {10,  6,  8,  6,  4,  8,  1,  0,  9, 12, 12, 12, 12, 12, 12},
    { 9,  1,  8,  1,  3,  8,  6,  7, 10, 12, 12, 12, 12, 12, 12},
    { 9,  1,  0,  6,  7, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  6,  3,  3,  6,  0,  6,  5,  0,  5,  9,  0, 12, 12, 12},
    { 5,  9,  6,  9, 10,  6,  9,  8, 10, 12, 12, 12, 12, 12, 12},
    { 3,  8,  0,  5,  9,  4,  6,  7, 10, 12, 12, 12, 12, 12, 12},
    { 5,  9,  4, 10,  6,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  6,  3,  6,  0,  3,  6,  4,  0, 12, 12, 12, 12, 12, 12},
    { 4,  8,  6,  6,  8, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  0,  3,  6,  7, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {10,  6,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 1,  2, 10,  7,  1, 10,  5,  1,  7, 12, 12, 12, 12, 12, 12},
    {10,  3,  2,  8,  1,  0,  8,  7,  1,  7,  5,  1, 12, 12, 12},
    { 5,  1,  2,  8,  5,  2, 10,  8,  2,  5,  8,  4, 12, 12, 12},
    { 4,  5,  0,  5,  1,  0, 10,  3,  2, 12, 12, 12, 12, 12, 12},
    {10,  7,  4, 10,  4,  9,  2, 10,  9,  1,  2,  9, 12, 12, 12},
    { 1,  0,  9,  7,  4,  8, 10,  3,  2, 12, 12, 12, 12, 12, 12},
    { 2, 10,  1, 10,  9,  1, 10,  8,  9, 12, 12, 12, 12, 12, 12},
    { 0,  9,  1, 10,  3,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  5,  9,  2,  7,  9,  0,  2,  9, 10,  7,  2, 12, 12, 12},
    { 5,  9,  7,  9,  8,  7,  2, 10,  3, 12, 12, 12, 12, 12, 12},
    { 2, 10,  0, 10,  8,  0,  5,  9,  4, 12, 12, 12, 12, 12, 12},
    { 4,  5,  9, 10,  3,  2, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 7,  4, 10,  4,  2, 10,  4,  0,  2, 12, 12, 12, 12, 12, 12},
    { 7,  4,  8,  2, 10,  3, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2, 10,  0,  0, 10,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 2, 10,  3, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  5,  1,  7,  5,  3, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  7,  0,  7,  1,  0,  7,  5,  1, 12, 12, 12, 12, 12, 12},
    { 4,  5,  8,  5,  3,  8,  5,  1,  3, 12, 12, 12, 12, 12, 12},
    { 4,  5,  0,  0,  5,  1, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  1,  4,  1,  7,  4,  1,  3,  7, 12, 12, 12, 12, 12, 12},
    { 9,  1,  0,  7,  4,  8, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  8,  1,  1,  8,  9, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 9,  1,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  3,  9,  3,  5,  9,  3,  7,  5, 12, 12, 12, 12, 12, 12},
    { 8,  7,  9,  9,  7,  5, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  5,  9,  3,  8,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 4,  5,  9, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 0,  3,  4,  4,  3,  7, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 8,  7,  4, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    { 3,  8,  0, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
    {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
};

namespace {

int EdgeBetween(int a, int b) {
  for (int e = 0; e < 12; ++e)
    if ((kEdgeCorners[e][0] == a && kEdgeCorners[e][1] == b) ||
        (kEdgeCorners[e][0] == b && kEdgeCorners[e][1] == a))
      return e;
  return -1;
}

// The four corners of face f in cyclic order (neighbours differ in one axis).
std::array<int, 4> FaceCycle(int f) {
  std::array<int, 4> c{};
  int n = 0;
  for (int k = 0; k < 8; ++k)
    if (kFaceMask[f] & (1u << k)) c[n++] = k;
  // c[0] is kept; order the rest so consecutive corners share an edge.
  for (int i = 1; i < 4; ++i)
    for (int j = i; j < 4; ++j)
      if (EdgeBetween(c[i - 1], c[j]) >= 0) {
        std::swap(c[i], c[j]);
        break;
      }
  return c;
}

struct Vec {
  double x, y, z;
};
Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Corner(int c) { return {double(kCornerOffset[c][0]), double(kCornerOffset[c][1]), double(kCornerOffset[c][2])}; }
Vec EdgeMid(int e) {
  Vec a = Corner(kEdgeCorners[e][0]), b = Corner(kEdgeCorners[e][1]);
  return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
}

bool Inside(uint32_t mask, int c) { return (mask >> c) & 1u; }

// Oriented boundary segments of the surface on face f: pairs of crossing
// edges (from, to), directed so that the outward face normal crossed with
// the segment points away from the inside corners.
std::vector<std::pair<int, int>> FaceSegments(uint32_t mask, int f, bool joined) {
  std::array<int, 4> c = FaceCycle(f);
  std::vector<std::pair<int, int>> segs;
  int nIn = 0;
  for (int k : c) nIn += Inside(mask, k);
  if (nIn == 0 || nIn == 4) return segs;
  Vec n{double(kFaceOffset[f][0]), double(kFaceOffset[f][1]), double(kFaceOffset[f][2])};
  auto orient = [&](int ea, int eb, int corner, bool cornerInside) {
    Vec s = Sub(EdgeMid(eb), EdgeMid(ea));
    Vec mid{(EdgeMid(ea).x + EdgeMid(eb).x) / 2, (EdgeMid(ea).y + EdgeMid(eb).y) / 2,
            (EdgeMid(ea).z + EdgeMid(eb).z) / 2};
    double side = Dot(Cross(n, s), Sub(Corner(corner), mid));
    bool towardCorner = side > 0;
    // n x s must point toward the outside.
    if (towardCorner == cornerInside) std::swap(ea, eb);
    segs.push_back({ea, eb});
  };
  bool diagonal = nIn == 2 && Inside(mask, c[0]) == Inside(mask, c[2]);
  if (!diagonal) {
    // One segment; it cuts off the lone corner of its kind, or separates an
    // inside pair from an outside pair.
    for (int i = 0; i < 4; ++i) {
      int a = c[i], b = c[(i + 1) % 4];
      if (Inside(mask, a) == Inside(mask, b)) continue;
      // Found the first crossing edge; find the second.
      for (int j = i + 1; j < 4; ++j) {
        int a2 = c[j], b2 = c[(j + 1) % 4];
        if (Inside(mask, a2) == Inside(mask, b2)) continue;
        int inCorner = Inside(mask, a) ? a : b;
        orient(EdgeBetween(a, b), EdgeBetween(a2, b2), inCorner, true);
        return segs;
      }
    }
    return segs;
  }
  // Diagonal: cut off each inside corner (separate) or each outside corner
  // (the inside corners joined across the face).
  for (int i = 0; i < 4; ++i) {
    int k = c[i];
    bool kin = Inside(mask, k);
    if (kin == joined) continue;
    int prev = c[(i + 3) % 4], next = c[(i + 1) % 4];
    orient(EdgeBetween(prev, k), EdgeBetween(k, next), k, kin);
  }
  return segs;
}

// How well triangle (a, b, c) of crossing edges faces outward: its normal
// (edge midpoints) against the inside-to-outside direction of its edges,
// relative to its size.
double EarScore(uint32_t mask, int a, int b, int c) {
  Vec pa = EdgeMid(a), pb = EdgeMid(b), pc = EdgeMid(c);
  Vec n = Cross(Sub(pb, pa), Sub(pc, pa));
  double len = std::sqrt(Dot(n, n));
  if (len < 1e-9) return -1.0;
  Vec out{0, 0, 0};
  for (int e : {a, b, c}) {
    int x = kEdgeCorners[e][0], y = kEdgeCorners[e][1];
    Vec d = Inside(mask, x) ? Sub(Corner(y), Corner(x)) : Sub(Corner(x), Corner(y));
    out = {out.x + d.x, out.y + d.y, out.z + d.z};
  }
  return Dot(n, out) / len;
}

// A side drawn inside a cube between two crossing edges of one of its
// faces that is not a segment of that face. When the cube across the face
// draws the same side, the edge gets four triangles. It is named from the
// cube whose +x, +y or +z face it lies in: the face, the inside corners of
// that cube on it, the face's decision, and the two edges.
struct FaceSide {
  int face;
  uint32_t corners, joined;
  int a, b;  // a < b
  bool operator<(const FaceSide& o) const {
    if (face != o.face) return face < o.face;
    if (corners != o.corners) return corners < o.corners;
    if (joined != o.joined) return joined < o.joined;
    return a != o.a ? a < o.a : b < o.b;
  }
};

// The face side (a, b) draws across in the cube of `mask`, as FaceSide
// names it; false when the side lies on no face or is a segment there.
// `plus` tells whether the face is this cube's +x, +y or +z face.
bool SideAcross(uint32_t mask, uint32_t joined, int a, int b, FaceSide* out, bool* plus) {
  const uint32_t ends = (1u << kEdgeCorners[a][0]) | (1u << kEdgeCorners[a][1]) | (1u << kEdgeCorners[b][0]) |
                        (1u << kEdgeCorners[b][1]);
  for (int f = 0; f < 6; ++f) {
    if ((ends & ~kFaceMask[f]) != 0) continue;
    for (const auto& s : FaceSegments(mask, f, (joined >> f) & 1u))
      if ((s.first == a && s.second == b) || (s.first == b && s.second == a)) return false;
    *plus = kFaceOffset[f][0] + kFaceOffset[f][1] + kFaceOffset[f][2] > 0;
    // Corners of this cube as the cube across a -x, -y or -z face numbers them.
    int to[8];
    for (int c = 0; c < 8; ++c) to[c] = c;
    int face = f;
    if (!*plus) {
      for (const auto& pr : kFaceShared[f]) to[pr[1]] = pr[0];
      static const int kOpposite[6] = {5, 3, 4, 1, 2, 0};
      face = kOpposite[f];
    }
    uint32_t corners = 0;
    for (int c = 0; c < 8; ++c)
      if ((kFaceMask[f] >> c & 1u) && Inside(mask, c)) corners |= 1u << to[c];
    const int ea = EdgeBetween(to[kEdgeCorners[a][0]], to[kEdgeCorners[a][1]]);
    const int eb = EdgeBetween(to[kEdgeCorners[b][0]], to[kEdgeCorners[b][1]]);
    *out = FaceSide{face, corners, (joined >> f) & 1u, std::min(ea, eb), std::max(ea, eb)};
    return true;
  }
  return false;
}

// What a triangulation of part of a loop costs: sides drawn across +x, +y
// or +z faces (fewer first), then sides across the other faces that the
// cube beyond cannot avoid drawing itself, then its worst triangle's score
// (higher).
struct Cost {
  int plus = 0, clash = 0;
  double worst = 0;
  Cost With(const Cost& part) const { return Cost{plus + part.plus, clash + part.clash, std::min(worst, part.worst)}; }
  bool Better(const Cost& o) const {
    if (plus != o.plus) return plus < o.plus;
    if (clash != o.clash) return clash < o.clash;
    return worst > o.worst + 1e-12;
  }
};

struct Resolved {
  // rows[joined subset] for every subset of the ambiguous faces (64 slots).
  std::array<std::array<int8_t, kResolvedRowLength>, 64> rows;
};

// Resolves every row whose face decisions the table row does not follow.
// Of all triangulations of each loop the one of least Cost is taken: no
// side across a +x, +y or +z face unless no triangulation avoids it, and
// none across another face where the cube beyond has to draw the same
// side (`forced`, the +x, +y, +z sides left in a first pass); then the one
// whose worst triangle faces outward the most (edge midpoints standing in
// for the crossings): no inverted triangles across saddles, and flat ones
// only where the sides across faces leave no other choice. Sides
// that a row still draws across its +x, +y or +z faces go to `across`.
std::vector<Resolved> BuildResolved(const std::set<FaceSide>& forced, std::set<FaceSide>* across) {
  std::vector<Resolved> all(256);
  for (uint32_t mask = 0; mask < 256; ++mask) {
    uint32_t amb = AmbiguousFaces(mask);
    for (uint32_t joined = 0; joined < 64; ++joined) {
      std::array<int8_t, kResolvedRowLength>& row = all[mask].rows[joined];
      row.fill(12);
      if ((joined & ~amb) != 0) continue;
      if (joined == TableJoinedFaces(mask)) {
        for (int i = 0; i < 15; ++i) row[i] = kTriangleTable[mask][i];
        continue;
      }
      auto sideCost = [&](int a, int b) {
        FaceSide fs;
        bool plus = false;
        Cost c{0, 0, 1e300};
        if (!SideAcross(mask, joined, a, b, &fs, &plus)) return c;
        if (plus)
          c.plus = 1;
        else
          c.clash = int(forced.count(fs));
        return c;
      };
      int next[12];
      for (int& e : next) e = -1;
      for (int f = 0; f < 6; ++f)
        for (auto& s : FaceSegments(mask, f, (joined >> f) & 1u)) next[s.first] = s.second;
      bool used[12] = {};
      int n = 0;
      for (int e0 = 0; e0 < 12; ++e0) {
        if (next[e0] < 0 || used[e0]) continue;
        std::vector<int> loop;
        for (int e = e0; e >= 0 && !used[e]; e = next[e]) {
          used[e] = true;
          loop.push_back(e);
        }
        const int L = int(loop.size());
        Cost best[12][12];
        int split[12][12];
        for (int i = 0; i < L; ++i)
          for (int j = 0; j < L; ++j) split[i][j] = -1;
        for (int len = 2; len < L; ++len)
          for (int i = 0; i + len < L; ++i) {
            const int j = i + len;
            best[i][j] = Cost{1 << 20, 0, -1e300};
            for (int k = i + 1; k < j; ++k) {
              Cost c{0, 0, EarScore(mask, loop[size_t(i)], loop[size_t(k)], loop[size_t(j)])};
              if (k - i > 1) c = c.With(best[i][k]).With(sideCost(loop[size_t(i)], loop[size_t(k)]));
              if (j - k > 1) c = c.With(best[k][j]).With(sideCost(loop[size_t(k)], loop[size_t(j)]));
              if (c.Better(best[i][j])) {
                best[i][j] = c;
                split[i][j] = k;
              }
            }
          }
        std::vector<std::pair<int, int>> stack{{0, L - 1}};
        while (!stack.empty()) {
          auto [i, j] = stack.back();
          stack.pop_back();
          if (j - i < 2) continue;
          const int k = split[i][j];
          row[n++] = int8_t(loop[size_t(i)]);
          row[n++] = int8_t(loop[size_t(k)]);
          row[n++] = int8_t(loop[size_t(j)]);
          stack.push_back({i, k});
          stack.push_back({k, j});
        }
      }
      if (!across) continue;
      for (int t = 0; row[size_t(t)] != 12; t += 3)
        for (int k = 0; k < 3; ++k) {
          FaceSide fs;
          bool plus = false;
          if (SideAcross(mask, joined, row[size_t(t + k)], row[size_t(t + (k + 1) % 3)], &fs, &plus) && plus)
            across->insert(fs);
        }
    }
  }
  return all;
}

const std::vector<Resolved>& ResolvedTables() {
  static const std::vector<Resolved> tables = [] {
    std::set<FaceSide> forced;
    BuildResolved({}, &forced);
    return BuildResolved(forced, nullptr);
  }();
  return tables;
}

}  // namespace

namespace {
uint32_t ComputeAmbiguousFaces(uint32_t mask) {
  uint32_t amb = 0;
  for (int f = 0; f < 6; ++f) {
    std::array<int, 4> c = FaceCycle(f);
    if (Inside(mask, c[0]) == Inside(mask, c[2]) && Inside(mask, c[1]) == Inside(mask, c[3]) &&
        Inside(mask, c[0]) != Inside(mask, c[1]))
      amb |= 1u << f;
  }
  return amb;
}
}  // namespace

uint32_t AmbiguousFaces(uint32_t mask) {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (uint32_t m = 0; m < 256; ++m) t[m] = uint8_t(ComputeAmbiguousFaces(m));
    return t;
  }();
  return table[mask & 255u];
}

uint32_t TableJoinedFaces(uint32_t mask) {
  uint32_t amb = AmbiguousFaces(mask);
  uint32_t joined = 0;
  const int8_t* row = kTriangleTable[mask];
  for (int f = 0; f < 6; ++f) {
    if (!(amb & (1u << f))) continue;
    // The row joins the inside corners on this face when the boundary of
    // its patch runs between the two crossing edges around an outside
    // corner.
    std::array<int, 4> c = FaceCycle(f);
    int k = Inside(mask, c[0]) ? 1 : 0;  // an outside corner
    int ea = EdgeBetween(c[(k + 3) % 4], c[k]), eb = EdgeBetween(c[k], c[(k + 1) % 4]);
    int uses = 0;
    for (int t = 0; t < 15 && row[t] != 12; t += 3)
      for (int s = 0; s < 3; ++s) {
        int x = row[t + s], y = row[t + (s + 1) % 3];
        if ((x == ea && y == eb) || (x == eb && y == ea)) ++uses;
      }
    // A side used once bounds the patch, so it lies on the face.
    if (uses == 1) joined |= 1u << f;
  }
  return joined;
}

const int8_t* ResolvedRow(uint32_t mask, uint32_t joined) {
  return ResolvedTables()[mask].rows[joined & 63].data();
}

}  // namespace cube_tables
