#include "matrix.h"

#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

double Radians(float degrees) {
    return degrees * kPi / 180;
}

// An Euler angle in degrees as a float in [0, 360). The wrap happens in
// double, and a value a hair below 360 would round up to 360 as a float,
// which is the same angle as 0.
float WrapDegrees(double degrees) {
    float wrapped = float(clamp(float(degrees), 0, 360));
    return wrapped >= 360 ? 0.0f : wrapped;
}

void SetColumn(MATRIX* m, int column, VECTOR3D v) {
    m->m[4 * column] = v.x;
    m->m[4 * column + 1] = v.y;
    m->m[4 * column + 2] = v.z;
}

}  // namespace

void MATRIX::Identity() {
    Zero();
    m[0] = m[5] = m[10] = m[15] = 1;
}

void MATRIX::Zero() {
    for (double& element : m)
        element = 0;
}

void MATRIX::SetTranslation(VECTOR3D v) {
    m[12] = v.x;
    m[13] = v.y;
    m[14] = v.z;
}

MATRIX AddMatrix(MATRIX a, MATRIX b) {
    MATRIX sum;
    for (int k = 0; k < 16; k++)
        sum.m[k] = a.m[k] + b.m[k];
    return sum;
}

MATRIX SubtractMatrix(MATRIX a, MATRIX b) {
    MATRIX difference;
    for (int k = 0; k < 16; k++)
        difference.m[k] = a.m[k] - b.m[k];
    return difference;
}

MATRIX MultiplyMatrix(MATRIX a, MATRIX b) {
    MATRIX product;
    for (int c = 0; c < 4; c++) {
        for (int r = 0; r < 4; r++) {
            product.m[4 * c + r] = a.m[r] * b.m[4 * c] + a.m[4 + r] * b.m[4 * c + 1] +
                                   a.m[8 + r] * b.m[4 * c + 2] + a.m[12 + r] * b.m[4 * c + 3];
        }
    }
    return product;
}

VECTOR3D MatrixPointMultiply(MATRIX m, VECTOR3D p) {
    const double* e = m.m;
    return VECTOR3D{float(e[0] * p.x + e[4] * p.y + e[8] * p.z + e[12]),
                    float(e[1] * p.x + e[5] * p.y + e[9] * p.z + e[13]),
                    float(e[2] * p.x + e[6] * p.y + e[10] * p.z + e[14])};
}

VECTOR3D MatrixRotatePoint(MATRIX m, VECTOR3D p) {
    const double* e = m.m;
    return VECTOR3D{float(e[0] * p.x + e[4] * p.y + e[8] * p.z),
                    float(e[1] * p.x + e[5] * p.y + e[9] * p.z),
                    float(e[2] * p.x + e[6] * p.y + e[10] * p.z)};
}

VECTOR3D MatrixInverseRotatePoint(MATRIX m, VECTOR3D p) {
    const double* e = m.m;
    return VECTOR3D{float(e[0] * p.x + e[1] * p.y + e[2] * p.z),
                    float(e[4] * p.x + e[5] * p.y + e[6] * p.z),
                    float(e[8] * p.x + e[9] * p.y + e[10] * p.z)};
}

VECTOR3D MatrixTranslatePoint(MATRIX m, VECTOR3D p) {
    return VECTOR3D{float(p.x + m.m[12]), float(p.y + m.m[13]), float(p.z + m.m[14])};
}

VECTOR3D MatrixInverseTranslatePoint(MATRIX m, VECTOR3D p) {
    return VECTOR3D{float(p.x - m.m[12]), float(p.y - m.m[13]), float(p.z - m.m[14])};
}

MATRIX MatrixFromAngle(VECTOR3D angles) {
    double cx = std::cos(Radians(angles.x)), sx = std::sin(Radians(angles.x));
    double cy = std::cos(Radians(angles.y)), sy = std::sin(Radians(angles.y));
    double cz = std::cos(Radians(angles.z)), sz = std::sin(Radians(angles.z));
    MATRIX r;
    double* e = r.m;
    e[0] = cy * cz;
    e[1] = -cy * sz;
    e[2] = -sy;
    e[4] = cx * sz - sx * sy * cz;
    e[5] = sx * sy * sz + cx * cz;
    e[6] = -sx * cy;
    e[8] = cx * sy * cz + sx * sz;
    e[9] = sx * cz - cx * sy * sz;
    e[10] = cx * cy;
    return r;
}

VECTOR3D AngleFromMatrix(MATRIX m) {
    const double* e = m.m;
    // Rounding in a product of rotations can take |m[2]| a hair past 1.
    float ry = float(-std::asin(std::fmax(-1.0, std::fmin(1.0, e[2]))));
    double cy = std::cos(double(ry));
    double x = 0, z;
    if (std::fabs(cy) > 0.005) {
        x = std::atan2(-e[6] / cy, e[10] / cy) * kDegreesPerRadian;
        z = std::atan2(-e[1] / cy, e[0] / cy) * kDegreesPerRadian;
    } else {
        // Y at +-90 degrees: X and Z turn about one axis, so Z takes it all.
        z = std::atan2(e[4], e[5]) * kDegreesPerRadian;
    }
    return VECTOR3D{WrapDegrees(x), WrapDegrees(ry * kDegreesPerRadian), WrapDegrees(z)};
}

MATRIX MatrixAngleBetweenVectors(VECTOR3D a, VECTOR3D b) {
    VECTOR3D d = SubtractVectors(a, b);
    if (CompareVectors(d, MakePoint(0, 0, 0))) d.z = 1;
    VECTOR3D forward = NormalizeVector(d);
    VECTOR3D up = MakePoint(0, 1, 0);
    if (forward.x == 0 && forward.z == 0) up = MakePoint(-forward.y, 0, 0);
    VECTOR3D side = NormalizeVector(VectorCrossProduct(up, forward));
    VECTOR3D upright = NormalizeVector(VectorCrossProduct(side, forward));
    MATRIX r;
    SetColumn(&r, 0, side);
    SetColumn(&r, 1, ScaleVector(upright, -1));
    SetColumn(&r, 2, forward);
    return r;
}
