#ifndef KINDORA_GEOMETRY_FRUSTUM_H
#define KINDORA_GEOMETRY_FRUSTUM_H

#include "vector.h"

// The six planes (a, b, c, d) of the view volume, in the order right, left,
// bottom, top, far, near. a x + b y + c z + d is positive inside and, after
// an extraction, the signed distance from the plane. All zero until the
// first extraction. One table for the process, used on the GL thread only.
extern float frustum[6][4];

// Fills `frustum` from the current projection and modelview matrices; call
// it with the GL context current, after the frame's matrices are set. A
// plane whose normal comes out zero (degenerate matrices, no context) is
// stored as zeros, which no point lies inside.
void ExtractFrustum();
// True when p lies strictly inside all six planes; a point on a plane is out.
bool PointInFrustum(VECTOR3D p);
// False when the sphere lies wholly outside one plane; touching from
// outside counts as out, crossing counts as in.
bool SphereInFrustum(VECTOR3D center, float radius);
// The same test against plane `plane` alone; an index outside 0-5 is false.
bool SphereInsideSinglePlaneFrustum(int plane, VECTOR3D center, float radius);
// p moved along one axis onto plane `plane`: along X for the side planes,
// Y for bottom and top, Z for far and near. An index outside 0-5 gives
// (0, 0, 0).
VECTOR3D PointAtEdgeOfFrustum(int plane, VECTOR3D p);

#endif
