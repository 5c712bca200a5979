#include "quat.h"

#include <cmath>

namespace {

double HalfRadians(float degrees) {
    return degrees * kPi / 180 * 0.5;
}

double* Component(QUAT* q, int index) {
    double* components[3] = {&q->x, &q->y, &q->z};
    return components[index];
}

// The largest diagonal element's quaternion, for matrices with a trace of at
// most 0, where w is too small to divide by.
QUAT QuatFromLargestDiagonal(const double* e) {
    static const int kNext[3] = {1, 2, 0};
    int i = 0;
    if (e[5] > e[0]) i = 1;
    if (e[10] > e[5 * i]) i = 2;
    int j = kNext[i];
    int k = kNext[j];
    auto at = [e](int a, int b) { return e[4 * a + b]; };
    double s = std::sqrt(at(i, i) - (at(j, j) + at(k, k)) + 1);
    QUAT q;
    *Component(&q, i) = s * 0.5;
    if (s != 0) s = 0.5 / s;
    q.w = (at(j, k) - at(k, j)) * s;
    *Component(&q, j) = (at(i, j) + at(j, i)) * s;
    *Component(&q, k) = (at(i, k) + at(k, i)) * s;
    return q;
}

}  // namespace

void QUAT::Identity() {
    x = y = z = 0;
    w = 1;
}

bool QUAT::IsEqualTo(QUAT q) const {
    return x == q.x && y == q.y && z == q.z && w == q.w;
}

QUAT InverseQuat(QUAT q) {
    return QUAT(-q.x, -q.y, -q.z, q.w);
}

QUAT MultiplyQuats(QUAT a, QUAT b) {
    return QUAT(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
                a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
                a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
}

QUAT QuatSlerp(const QUAT* from, const QUAT* to, double t) {
    if (!from || !to) return QUAT();
    QUAT target = *to;
    double cosom = from->x * to->x + from->y * to->y + from->z * to->z + from->w * to->w;
    if (cosom < 0) {
        cosom = -cosom;
        target = QUAT(-to->x, -to->y, -to->z, -to->w);
    }
    double k0 = 1 - t;
    double k1 = t;
    if (1 - cosom > DELTA) {
        double omega = std::acos(cosom);
        double sinom = std::sin(omega);
        k0 = std::sin((1 - t) * omega) / sinom;
        k1 = std::sin(t * omega) / sinom;
    }
    return QUAT(k0 * from->x + k1 * target.x, k0 * from->y + k1 * target.y,
                k0 * from->z + k1 * target.z, k0 * from->w + k1 * target.w);
}

double QuatMagnitude(QUAT q) {
    return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
}

QUAT NormalizeQuat(QUAT q) {
    double length = QuatMagnitude(q);
    return QUAT(q.x / length, q.y / length, q.z / length, q.w / length);
}

QUAT RotationToQuat(VECTOR3D angles) {
    double hx = HalfRadians(angles.x), hy = HalfRadians(angles.y), hz = HalfRadians(angles.z);
    double cx = std::cos(hx), sx = std::sin(hx);
    double cy = std::cos(hy), sy = std::sin(hy);
    double cz = std::cos(hz), sz = std::sin(hz);
    return NormalizeQuat(QUAT(cz * cy * sx - sz * sy * cx, cz * sy * cx + sz * cy * sx,
                              sz * cy * cx - cz * sy * sx, cz * cy * cx + sz * sy * sx));
}

QUAT AxisAndAngleToQuat(VECTOR3D axis, double angle) {
    double s = std::sin(angle * 0.5);
    return NormalizeQuat(QUAT(axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5)));
}

MATRIX QuatToRotationMatrix(QUAT q) {
    MATRIX r;
    double* e = r.m;
    e[0] = 1 - 2 * (q.y * q.y + q.z * q.z);
    e[1] = 2 * (q.x * q.y + q.z * q.w);
    e[2] = 2 * (q.x * q.z - q.y * q.w);
    e[4] = 2 * (q.x * q.y - q.z * q.w);
    e[5] = 1 - 2 * (q.z * q.z + q.x * q.x);
    e[6] = 2 * (q.x * q.w + q.y * q.z);
    e[8] = 2 * (q.x * q.z + q.y * q.w);
    e[9] = 2 * (q.y * q.z - q.x * q.w);
    e[10] = 1 - 2 * (q.x * q.x + q.y * q.y);
    return r;
}

QUAT QuatFromMatrix(MATRIX m) {
    const double* e = m.m;
    double trace = e[0] + e[5] + e[10];
    if (!(trace > 0)) return QuatFromLargestDiagonal(e);
    double s = std::sqrt(trace + 1);
    double w = s * 0.5;
    s = 0.5 / s;
    return QUAT((e[6] - e[9]) * s, (e[8] - e[2]) * s, (e[1] - e[4]) * s, w);
}
