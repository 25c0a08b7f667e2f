// Public header of the fill geometry library.
#pragma once

#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/caja.h"
#include "fill_geometry/fill_object.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/hilera.h"
#include "fill_geometry/indice_cruce.h"
#include "fill_geometry/punto.h"
#include "fill_geometry/recinto.h"
#include "fill_geometry/row_table.h"
#include "fill_geometry/shape_lattice.h"
