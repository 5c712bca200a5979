#include "vector.h"

#include <cmath>
#include <limits>

namespace {

// Beyond this many steps of `high`, clamp reduces by remainder instead of
// stepping; it also keeps the loops from stalling once a step no longer
// changes a huge value.
constexpr double kClampMaxSteps = 1e6;

float SumOfSquares(VECTOR3D v) {
    return v.x * v.x + v.y * v.y + v.z * v.z;
}

// Each component over `length`, divided in double.
VECTOR3D DivideByLength(VECTOR3D v, double length) {
    return VECTOR3D{float(v.x / length), float(v.y / length), float(v.z / length)};
}

float DegreesToRadians(float degrees) {
    return float(degrees * kPi / 180);
}

// Rotates the pair (u, v) by `radians` in their own plane, in double.
void RotatePair(float* u, float* v, float radians) {
    double c = std::cos(double(radians));
    double s = std::sin(double(radians));
    float u0 = *u;
    float v0 = *v;
    *u = float(c * u0 - s * v0);
    *v = float(s * u0 + c * v0);
}

// Rounding can take a cosine computed from a float length a hair past 1.
double ClampToUnit(double value) {
    return std::fmax(-1.0, std::fmin(1.0, value));
}

}  // namespace

VECTOR3D MakePoint(float x, float y, float z) {
    return VECTOR3D{x, y, z};
}

COLOUR MakeColour(float r, float g, float b, float a) {
    return COLOUR{r, g, b, a};
}

VECTOR3D AddVectors(VECTOR3D a, VECTOR3D b) {
    return VECTOR3D{a.x + b.x, a.y + b.y, a.z + b.z};
}

VECTOR3D SubtractVectors(VECTOR3D a, VECTOR3D b) {
    return VECTOR3D{a.x - b.x, a.y - b.y, a.z - b.z};
}

VECTOR3D MultiplyVectors(VECTOR3D a, VECTOR3D b) {
    return VECTOR3D{a.x * b.x, a.y * b.y, a.z * b.z};
}

VECTOR3D DivideVectors(VECTOR3D a, VECTOR3D b) {
    return VECTOR3D{a.x / b.x, a.y / b.y, a.z / b.z};
}

VECTOR3D ScaleVector(VECTOR3D v, double s) {
    return VECTOR3D{float(v.x * s), float(v.y * s), float(v.z * s)};
}

double VectorDotProduct(VECTOR3D a, VECTOR3D b) {
    float sum = a.x * b.x + a.y * b.y + a.z * b.z;
    return sum;
}

VECTOR3D VectorCrossProduct(VECTOR3D a, VECTOR3D b) {
    return VECTOR3D{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double VectorLength(VECTOR3D v) {
    return std::sqrt(double(SumOfSquares(v)));
}

double VectorLengthNOSQRT(VECTOR3D v) {
    return SumOfSquares(v);
}

double DistanceBetweenVectors(VECTOR3D a, VECTOR3D b) {
    return SumOfSquares(SubtractVectors(a, b));
}

VECTOR3D NormalizeVector(VECTOR3D v) {
    return DivideByLength(v, VectorLength(v));
}

bool CompareVectors(VECTOR3D a, VECTOR3D b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

VECTOR3D CalculateNormal(VECTOR3D p1, VECTOR3D p2, VECTOR3D p3) {
    return VectorCrossProduct(SubtractVectors(p1, p2), SubtractVectors(p2, p3));
}

void Rotate(VECTOR3D* v, float ax, float ay, float az) {
    if (!v || (ax == 0 && ay == 0 && az == 0)) return;
    float rx = DegreesToRadians(ax);
    float ry = DegreesToRadians(ay);
    float rz = DegreesToRadians(az);
    if (ax != 0) RotatePair(&v->y, &v->z, rx);
    if (ay != 0) RotatePair(&v->z, &v->x, ry);
    if (az != 0) RotatePair(&v->x, &v->y, rz);
}

VECTOR3D AngleBetweenVectors(VECTOR3D a, VECTOR3D b) {
    VECTOR3D d = SubtractVectors(b, a);
    // Nudges keep the axis and the length away from zero for short or
    // vertical offsets.
    if (std::fabs(d.x) < 1) d.x = float(d.x + 0.1);
    if (CompareVectors(a, b)) d.z = d.z + 1;
    VECTOR3D axis = VectorCrossProduct(MakePoint(0, 0, 1), d);
    double axisLength = VectorLength(axis);
    if (axisLength != 0) axis = DivideByLength(axis, axisLength);
    double degrees = std::acos(ClampToUnit(d.z / VectorLength(d))) * 180 / kPi;
    return ScaleVector(axis, degrees);
}

double clamp(double value, double low, double high) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!std::isfinite(value) || !std::isfinite(low) || !std::isfinite(high)) return nan;
    if (!(high > 0) || low > kClampMaxSteps * high) return nan;
    if (std::fabs(value) > kClampMaxSteps * high) value = std::fmod(value, high);
    while (low > value)
        value = value + high;
    while (value >= high)
        value = value - high;
    return value;
}
