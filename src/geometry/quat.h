#ifndef KINDORA_GEOMETRY_QUAT_H
#define KINDORA_GEOMETRY_QUAT_H

#include "matrix.h"
#include "vector.h"

// A quaternion (x, y, z, w) with w the scalar part; a rotation by angle t
// about the unit axis n is (n sin(t/2), cos(t/2)). All arithmetic on it is
// in double.
class QUAT {
   public:
    QUAT() { Identity(); }
    QUAT(double x, double y, double z, double w) : x(x), y(y), z(z), w(w) {}
    void Identity();
    // Exact equality of all four components; NaN equals nothing.
    bool IsEqualTo(QUAT q) const;

    double x;
    double y;
    double z;
    double w;
};

// Tolerance below which slerp falls back to linear interpolation.
constexpr double DELTA = 1e-05;

// The conjugate: the inverse of a unit quaternion.
QUAT InverseQuat(QUAT q);
// The Hamilton product a (x) b.
QUAT MultiplyQuats(QUAT a, QUAT b);
// Spherical interpolation from *from (t = 0) to *to (t = 1) along the
// shorter arc, so t = 1 may give -*to. Nearly equal rotations interpolate
// linearly. Not normalised. A null argument gives the identity.
QUAT QuatSlerp(const QUAT* from, const QUAT* to, double t);
// The Euclidean length sqrt(x^2 + y^2 + z^2 + w^2).
double QuatMagnitude(QUAT q);
// q over its length. A zero q gives non-finite components.
QUAT NormalizeQuat(QUAT q);
// The unit quaternion of Euler angles in degrees: X first, then Y, then Z
// about the fixed axes, the order that Rotate uses.
QUAT RotationToQuat(VECTOR3D angles);
// The rotation by `angle` in radians (not degrees) about `axis`, normalised.
QUAT AxisAndAngleToQuat(VECTOR3D axis, double angle);
// The rotation matrix of a unit q. Its layout is the transpose of
// MatrixFromAngle's: a positive Z turn gives m[1] = +1, m[4] = -1.
MATRIX QuatToRotationMatrix(QUAT q);
// The quaternion of a matrix whose rotation part is orthonormal; inverse of
// QuatToRotationMatrix for unit quaternions up to sign.
QUAT QuatFromMatrix(MATRIX m);

#endif
