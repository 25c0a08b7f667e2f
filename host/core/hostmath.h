// Small maths helpers of the host: smooth noise and smoothstep.
#pragma once
#include "host/core/geom.h"

// Deterministic smooth gradient noise of a point, in about [-1, 1]; the same
// point always gives the same value.
float noise3(const Point3& p);
// 0 below a, 1 above b, the cubic 3x^2 - 2x^3 of (x - a) / (b - a) between;
// a step at a when a == b.
float smoothstep(float a, float b, float x);

// v truncated toward zero like a C cast, but held to the int range (NaN gives
// 0): the host's float-to-int conversion for values that may be anything a user typed
// or a file held (1e30 as an "unbounded" range end, say).
int SaturateToInt(double v);
