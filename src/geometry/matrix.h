#ifndef KINDORA_GEOMETRY_MATRIX_H
#define KINDORA_GEOMETRY_MATRIX_H

#include "vector.h"

// A 4 x 4 matrix in OpenGL's column-major order: m[4 * c + r] is row r of
// column c. m[12..14] hold the translation and the rotation part is
// m[0..2], m[4..6], m[8..10]. All arithmetic on it is in double.
class MATRIX {
   public:
    MATRIX() { Identity(); }
    void Identity();
    void Zero();
    // Sets m[12..14] to v; nothing else changes.
    void SetTranslation(VECTOR3D v);

    double m[16];
};

MATRIX AddMatrix(MATRIX a, MATRIX b);
MATRIX SubtractMatrix(MATRIX a, MATRIX b);
// a . b: transforming by the product transforms by b first, then by a.
MATRIX MultiplyMatrix(MATRIX a, MATRIX b);
// m . (p, 1) without the bottom row.
VECTOR3D MatrixPointMultiply(MATRIX m, VECTOR3D p);
// The rotation part applied to p.
VECTOR3D MatrixRotatePoint(MATRIX m, VECTOR3D p);
// The transposed rotation part applied to p: the inverse rotation when the
// rotation part is orthonormal.
VECTOR3D MatrixInverseRotatePoint(MATRIX m, VECTOR3D p);
VECTOR3D MatrixTranslatePoint(MATRIX m, VECTOR3D p);
VECTOR3D MatrixInverseTranslatePoint(MATRIX m, VECTOR3D p);
// Rotation from Euler angles in degrees. With this layout a positive Z
// angle turns +X towards -Y (m[1] = -1, m[4] = +1 for 90 degrees).
MATRIX MatrixFromAngle(VECTOR3D angles);
// The Euler angles in degrees, each in [0, 360), that MatrixFromAngle turns
// back into m. At Y of +-90 degrees X and Z turn about the same axis, and
// X is reported as 0.
VECTOR3D AngleFromMatrix(MATRIX m);
// An orientation that turns +Z towards the direction from b to a; equal
// points give the identity.
MATRIX MatrixAngleBetweenVectors(VECTOR3D a, VECTOR3D b);

#endif
