#include "frustum.h"

#include <GL/gl.h>

#include <cmath>

float frustum[6][4] = {};

namespace {

enum { kRight, kLeft, kBottom, kTop, kFar, kNear, kPlaneCount };

float PlaneValue(int plane, VECTOR3D p) {
    const float* f = frustum[plane];
    return f[0] * p.x + f[1] * p.y + f[2] * p.z + f[3];
}

bool IsPlaneIndex(int plane) {
    return unsigned(plane) < kPlaneCount;
}

// Stores row 3 of k plus `sign` times row `row`, scaled to a unit normal.
void StorePlane(int plane, const float* k, int row, float sign) {
    float* f = frustum[plane];
    for (int c = 0; c < 4; c++)
        f[c] = k[4 * c + 3] + sign * k[4 * c + row];
    float length = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    if (length == 0) {
        for (int c = 0; c < 4; c++)
            f[c] = 0;
        return;
    }
    for (int c = 0; c < 4; c++)
        f[c] = f[c] / length;
}

}  // namespace

void ExtractFrustum() {
    // Left at zero when no context answers.
    float projection[16] = {};
    float modelview[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    float k[16];
    for (int c = 0; c < 4; c++) {
        for (int r = 0; r < 4; r++) {
            const float* v = modelview + 4 * c;
            const float* p = projection;
            k[4 * c + r] = v[0] * p[r] + v[1] * p[4 + r] + v[2] * p[8 + r] + v[3] * p[12 + r];
        }
    }
    StorePlane(kRight, k, 0, -1);
    StorePlane(kLeft, k, 0, 1);
    StorePlane(kBottom, k, 1, 1);
    StorePlane(kTop, k, 1, -1);
    StorePlane(kFar, k, 2, -1);
    StorePlane(kNear, k, 2, 1);
}

bool PointInFrustum(VECTOR3D p) {
    for (int plane = 0; plane < kPlaneCount; plane++) {
        if (PlaneValue(plane, p) <= 0) return false;
    }
    return true;
}

bool SphereInFrustum(VECTOR3D center, float radius) {
    for (int plane = 0; plane < kPlaneCount; plane++) {
        if (PlaneValue(plane, center) <= -radius) return false;
    }
    return true;
}

bool SphereInsideSinglePlaneFrustum(int plane, VECTOR3D center, float radius) {
    return IsPlaneIndex(plane) && PlaneValue(plane, center) > -radius;
}

VECTOR3D PointAtEdgeOfFrustum(int plane, VECTOR3D p) {
    if (!IsPlaneIndex(plane)) return MakePoint(0, 0, 0);
    const float* f = frustum[plane];
    if (plane == kRight || plane == kLeft)
        return MakePoint(-(f[1] * p.y + f[3] + f[2] * p.z) / f[0], p.y, p.z);
    if (plane == kBottom || plane == kTop)
        return MakePoint(p.x, -(f[2] * p.z + f[3] + f[0] * p.x) / f[1], p.z);
    return MakePoint(p.x, p.y, -(f[1] * p.y + f[3] + f[0] * p.x) / f[2]);
}
