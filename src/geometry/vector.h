#ifndef KINDORA_GEOMETRY_VECTOR_H
#define KINDORA_GEOMETRY_VECTOR_H

#include "point2d.h"

// Points, directions, angle triples and axis-angle vectors alike. Angles at
// this library's interface are in degrees. Arithmetic is single precision
// unless a function says double; double results are rounded to float where
// they are stored in a vector.
struct VECTOR3D {
    float x;
    float y;
    float z;
};

struct COLOUR {
    float r;
    float g;
    float b;
    float a;
};

constexpr double kPi = 3.141592653589793;

VECTOR3D MakePoint(float x, float y, float z);
COLOUR MakeColour(float r, float g, float b, float a);

VECTOR3D AddVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D SubtractVectors(VECTOR3D a, VECTOR3D b);
// Component by component.
VECTOR3D MultiplyVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D DivideVectors(VECTOR3D a, VECTOR3D b);
// Each component times `s` in double.
VECTOR3D ScaleVector(VECTOR3D v, double s);
// Summed in float.
double VectorDotProduct(VECTOR3D a, VECTOR3D b);
VECTOR3D VectorCrossProduct(VECTOR3D a, VECTOR3D b);
// Root in double of the float sum of squares.
double VectorLength(VECTOR3D v);
// The squared length, summed in float.
double VectorLengthNOSQRT(VECTOR3D v);
// The squared distance (no root), in float.
double DistanceBetweenVectors(VECTOR3D a, VECTOR3D b);
// v over its length. A zero vector gives non-finite components.
VECTOR3D NormalizeVector(VECTOR3D v);
// Exact equality of all three components: +0 equals -0, NaN equals nothing.
bool CompareVectors(VECTOR3D a, VECTOR3D b);
// (p1 - p2) x (p2 - p3), not normalised: towards the viewer for points
// running counter-clockwise as the viewer sees them.
VECTOR3D CalculateNormal(VECTOR3D p1, VECTOR3D p2, VECTOR3D p3);
// Turns *v in place about the fixed X axis, then Y, then Z (right-handed,
// degrees). Three zero angles leave it untouched; a null v is ignored.
void Rotate(VECTOR3D* v, float ax, float ay, float az);
// The rotation axis, scaled by the angle in degrees, that turns +Z towards
// the direction from a to b. Equal points give about (0, 5.7106, 0).
VECTOR3D AngleBetweenVectors(VECTOR3D a, VECTOR3D b);
// Wraps `value` by whole steps of `high`: adds it while value is below low,
// then subtracts it while value is at least high, so low 0 wraps into
// [0, high). Far-off values are first reduced by the exact remainder so the
// steps stay few. Non-finite input, a `high` that is not positive, or a low
// more than a million steps above zero gives NaN.
double clamp(double value, double low, double high);

#endif
