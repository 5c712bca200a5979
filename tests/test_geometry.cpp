#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "diagnostics.h"
#include "frustum.h"
#include "gl_support.h"
#include "matrix.h"
#include "quat.h"
#include "vector.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

void ExpectVector(VECTOR3D v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void ExpectQuat(QUAT q, double x, double y, double z, double w, double tolerance = 1e-12) {
    EXPECT_NEAR(q.x, x, tolerance);
    EXPECT_NEAR(q.y, y, tolerance);
    EXPECT_NEAR(q.z, z, tolerance);
    EXPECT_NEAR(q.w, w, tolerance);
}

// Largest difference between q and p, or between q and -p when that is less.
double QuatDistanceUpToSign(QUAT q, QUAT p) {
    double same = 0, opposite = 0;
    const double a[4] = {q.x, q.y, q.z, q.w};
    const double b[4] = {p.x, p.y, p.z, p.w};
    for (int k = 0; k < 4; k++) {
        same = std::fmax(same, std::fabs(a[k] - b[k]));
        opposite = std::fmax(opposite, std::fabs(a[k] + b[k]));
    }
    return std::fmin(same, opposite);
}

// Largest deviation of the rotation part's columns from an orthonormal,
// right-handed set.
double OrthonormalError(const MATRIX& m) {
    const double* e = m.m;
    double error = 0;
    for (int a = 0; a < 3; a++) {
        for (int b = 0; b < 3; b++) {
            double dot =
                e[4 * a] * e[4 * b] + e[4 * a + 1] * e[4 * b + 1] + e[4 * a + 2] * e[4 * b + 2];
            error = std::fmax(error, std::fabs(dot - (a == b ? 1 : 0)));
        }
    }
    double det = e[0] * (e[5] * e[10] - e[6] * e[9]) - e[4] * (e[1] * e[10] - e[2] * e[9]) +
                 e[8] * (e[1] * e[6] - e[2] * e[5]);
    return std::fmax(error, std::fabs(det - 1));
}

// Difference of two angles in degrees, taken the short way round.
double AngleDifference(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return std::fmin(d, 360 - d);
}

bool IsFinite(VECTOR3D v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

class RandomRotations : public ::testing::Test {
   protected:
    VECTOR3D RandomAngles(float yLimit = 180) {
        std::uniform_real_distribution<float> any(-180, 180), pitch(-yLimit, yLimit);
        return MakePoint(any(random), pitch(random), any(random));
    }
    QUAT RandomUnitQuat() {
        std::normal_distribution<double> normal;
        return NormalizeQuat(QUAT(normal(random), normal(random), normal(random), normal(random)));
    }
    std::mt19937 random{20240611};
    static constexpr int kCount = 400;
};

// ---- Vectors and points ----

TEST(Vector, LengthsAndTheSquaredDistance) {
    VECTOR3D v = MakePoint(3, 4, 0);
    EXPECT_EQ(DistanceBetweenVectors(MakePoint(0, 0, 0), v), 25);
    EXPECT_EQ(VectorLength(v), 5);
    EXPECT_EQ(VectorLengthNOSQRT(v), 25);
    // Sums are in float: the 1 is lost against 1e8.
    EXPECT_EQ(VectorDotProduct(MakePoint(1e8f, 1, 0), MakePoint(1, 1, 0)), 1e8);
    EXPECT_EQ(VectorLengthNOSQRT(MakePoint(1e4f, 1, 0)), 1e8);
}

TEST(Vector, CompareNormalizeAndNormal) {
    EXPECT_TRUE(CompareVectors(MakePoint(0, 0, 0), MakePoint(-0.0f, 0, 0)));
    EXPECT_FALSE(CompareVectors(MakePoint(1, 2, 3), MakePoint(1, 2, std::nextafter(3.0f, 4.0f))));
    VECTOR3D withNaN = MakePoint(float(kNaN), 0, 0);
    EXPECT_FALSE(CompareVectors(withNaN, withNaN));
    ExpectVector(NormalizeVector(MakePoint(3, 0, -4)), 0.6f, 0, -0.8f);
    EXPECT_FALSE(std::isfinite(NormalizeVector(MakePoint(0, 0, 0)).x));
    // Counter-clockwise as seen from +Z.
    VECTOR3D normal = CalculateNormal(MakePoint(0, 0, 0), MakePoint(1, 0, 0), MakePoint(0, 1, 0));
    ExpectVector(normal, 0, 0, 1, 0);
}

TEST(Vector, RotateTurnsAboutXThenYThenZ) {
    VECTOR3D v = MakePoint(1, 0, 0);
    Rotate(&v, 0, 0, 90);
    EXPECT_NEAR(v.x, -4.4e-8, 1e-9);
    ExpectVector(v, 0, 1, 0);

    v = MakePoint(0, 1, 0);
    Rotate(&v, 90, 0, 0);
    ExpectVector(v, 0, 0, 1);

    // X first leaves +X alone, then Y turns it to -Z; the other order would
    // end at +Y.
    v = MakePoint(1, 0, 0);
    Rotate(&v, 90, 90, 0);
    ExpectVector(v, 0, 0, -1);

    // A null vector is ignored: the call returns normally.
    EXPECT_EXIT(
        {
            Rotate(nullptr, 10, 20, 30);
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");

    // Three zero angles leave even a NaN and a negative zero untouched.
    v = MakePoint(float(kNaN), -0.0f, 1e-30f);
    VECTOR3D before = v;
    Rotate(&v, 0, -0.0f, 0);
    EXPECT_EQ(0, memcmp(&v, &before, sizeof v));
}

// Each turn works in double from the float angle in radians: cos(double(r)),
// not the float cosine, then rounds each coordinate to float.
TEST(Vector, RotateTakesCosineAndSineInDouble) {
    int differs = 0;
    for (int tenth = 1; tenth < 3600; tenth += 7) {
        const float degrees = float(tenth) / 10.0f;
        const float r = float(degrees * kPi / 180);
        const double c = std::cos(double(r)), s = std::sin(double(r));
        const VECTOR3D start = MakePoint(0.3f, 1.7f, -2.9f);
        VECTOR3D v = start;
        Rotate(&v, degrees, 0, 0);
        EXPECT_EQ(v.x, start.x);
        EXPECT_EQ(v.y, float(c * start.y - s * start.z)) << degrees;
        EXPECT_EQ(v.z, float(s * start.y + c * start.z)) << degrees;
        const float cf = std::cos(r), sf = std::sin(r);
        if (float(cf * double(start.y) - sf * double(start.z)) != v.y) ++differs;
    }
    EXPECT_GT(differs, 0);  // the float cosine would have been caught
}

TEST(Vector, ClampWrapsByWholeSteps) {
    struct Case {
        double value, low, high, expected;
    };
    const Case cases[] = {
        {-30, 0, 360, 330},
        {725, 0, 360, 5},
        {360, 0, 360, 0},
        {0, 0, 360, 0},
        {359.5, 0, 360, 359.5},
        {-720, 0, 360, 0},
        // Steps of high, not of high - low: below low it wraps past it.
        {5, 10, 360, 5},
        // Far-off values are reduced by the exact remainder.
        {360e7 + 5, 0, 360, 5},
        {-360e7 - 5, 0, 360, 355},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clamp(c.value, c.low, c.high), c.expected) << c.value << " " << c.low;
    }
    double huge = clamp(1e300, 0, 360);
    EXPECT_GE(huge, 0);
    EXPECT_LT(huge, 360);
}

TEST(Vector, ClampRejectsInputThatWouldNeverSettle) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(std::isnan(clamp(inf, 0, 360)));
    EXPECT_TRUE(std::isnan(clamp(-inf, 0, 360)));
    EXPECT_TRUE(std::isnan(clamp(kNaN, 0, 360)));
    EXPECT_TRUE(std::isnan(clamp(-1, 0, 0)));
    EXPECT_TRUE(std::isnan(clamp(-1, 0, -360)));
    EXPECT_TRUE(std::isnan(clamp(1, 1e300, 360)));
    EXPECT_TRUE(std::isnan(clamp(1, 0, inf)));
}

TEST(Vector, AngleBetweenVectors) {
    VECTOR3D p = MakePoint(2, 3, 4);
    ExpectVector(AngleBetweenVectors(p, p), 0, 5.7106f, 0, 1e-4f);
    // +Z turned 90 degrees about +Y points along +X.
    ExpectVector(AngleBetweenVectors(MakePoint(0, 0, 0), MakePoint(5, 0, 0)), 0, 90, 0, 1e-4f);
    // Straight up after the nudge of x: the cosine rounds a hair past 1.
    VECTOR3D up = AngleBetweenVectors(MakePoint(0, 0, 0), MakePoint(-0.1f, 0, 1.1f));
    EXPECT_TRUE(IsFinite(up));
    EXPECT_NEAR(VectorLength(up), 0, 1e-3);
}

// ---- Matrices ----

TEST(Matrix, IdentityZeroAndTranslation) {
    MATRIX m;
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(m.m[k], k % 5 == 0 ? 1 : 0) << k;
    m.Zero();
    m.SetTranslation(MakePoint(1, 2, 3));
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(m.m[k], k >= 12 && k < 15 ? k - 11 : 0) << k;
    ExpectVector(MatrixInverseTranslatePoint(m, MakePoint(1, 1, 1)), 0, -1, -2, 0);
}

TEST(Matrix, ProductAppliesTheRightFactorFirst) {
    MATRIX t;
    t.SetTranslation(MakePoint(1, 0, 0));
    MATRIX r = MatrixFromAngle(MakePoint(0, 0, 90));
    ExpectVector(MatrixPointMultiply(MultiplyMatrix(t, r), MakePoint(1, 0, 0)), 1, -1, 0);
    ExpectVector(MatrixPointMultiply(MultiplyMatrix(r, t), MakePoint(1, 0, 0)), 0, -2, 0);
    ExpectVector(MatrixRotatePoint(MultiplyMatrix(t, r), MakePoint(1, 0, 0)), 0, -1, 0);
}

TEST(Matrix, AngleRoundTrips) {
    ExpectVector(AngleFromMatrix(MatrixFromAngle(MakePoint(30, 40, 50))), 30, 40, 50, 1e-4f);
    ExpectVector(AngleFromMatrix(MatrixFromAngle(MakePoint(-30, 0, 0))), 330, 0, 0, 1e-4f);
    // Y at +90 degrees: X folds into Z and is reported as 0.
    VECTOR3D folded = AngleFromMatrix(MatrixFromAngle(MakePoint(20, 90, 50)));
    ExpectVector(folded, 0, 90, 30, 1e-3f);
}

TEST(Matrix, AngleFromMatrixStaysInRangeAndFinite) {
    // A hair below zero wraps to a hair below 360, which as a float is 360.
    VECTOR3D tiny = AngleFromMatrix(MatrixFromAngle(MakePoint(-1e-6f, 0, 0)));
    EXPECT_GE(tiny.x, 0);
    EXPECT_LT(tiny.x, 360);
    // Rounding can take |m[2]| a hair past 1.
    MATRIX m;
    m.Zero();
    m.m[2] = -(1 + 4e-16);
    m.m[4] = m.m[9] = 1;
    VECTOR3D a = AngleFromMatrix(m);
    EXPECT_TRUE(IsFinite(a));
    EXPECT_EQ(a.y, 90);
    EXPECT_EQ(a.x, 0);
}

TEST(Matrix, AngleBetweenVectorsFacesFromBToA) {
    const MATRIX identity;
    MATRIX straight = MatrixAngleBetweenVectors(MakePoint(0, 0, 1), MakePoint(0, 0, 0));
    MATRIX same = MatrixAngleBetweenVectors(MakePoint(4, 5, 6), MakePoint(4, 5, 6));
    for (int k = 0; k < 16; k++) {
        EXPECT_EQ(straight.m[k], identity.m[k]) << k;
        EXPECT_EQ(same.m[k], identity.m[k]) << k;
    }
    // Along Y the usual up vector is parallel, so (-1, 0, 0) stands in.
    MATRIX vertical = MatrixAngleBetweenVectors(MakePoint(0, 5, 0), MakePoint(0, 0, 0));
    const double expected[16] = {0, 0, -1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    for (int k = 0; k < 16; k++)
        EXPECT_NEAR(vertical.m[k], expected[k], 1e-7) << k;
}

TEST_F(RandomRotations, MatricesStayOrthonormalAndAnglesRoundTrip) {
    for (int n = 0; n < kCount; n++) {
        VECTOR3D angles = RandomAngles(89);
        MATRIX m = MatrixFromAngle(angles);
        ASSERT_LT(OrthonormalError(m), 1e-12) << n;
        VECTOR3D back = AngleFromMatrix(m);
        EXPECT_LT(AngleDifference(back.x, angles.x), 1e-3) << n;
        EXPECT_LT(AngleDifference(back.y, angles.y), 1e-3) << n;
        EXPECT_LT(AngleDifference(back.z, angles.z), 1e-3) << n;
        // The inverse rotation undoes the rotation.
        VECTOR3D p = MakePoint(1, -2, 3);
        ExpectVector(MatrixInverseRotatePoint(m, MatrixRotatePoint(m, p)), 1, -2, 3, 1e-5f);
    }
}

TEST_F(RandomRotations, AngleFromMatrixRebuildsTheSameRotation) {
    for (int n = 0; n < kCount; n++) {
        // Any pitch: exactly +-90 degrees, where X folds into Z, or one clear
        // of the band around it in which the fold is only approximate.
        VECTOR3D angles = RandomAngles();
        if (n % 4 == 0) angles.y = n % 8 ? 90.0f : -90.0f;
        while (n % 4 && std::fabs(std::cos(angles.y * kPi / 180)) < 0.01)
            angles = RandomAngles();
        MATRIX m = MatrixFromAngle(angles);
        MATRIX rebuilt = MatrixFromAngle(AngleFromMatrix(m));
        for (int k = 0; k < 16; k++)
            ASSERT_NEAR(rebuilt.m[k], m.m[k], 1e-5) << n << " " << k;
    }
}

TEST_F(RandomRotations, AngleBetweenVectorsMatricesFaceTheDirection) {
    std::uniform_real_distribution<float> coordinate(-10, 10);
    for (int n = 0; n < kCount; n++) {
        VECTOR3D a = MakePoint(coordinate(random), coordinate(random), coordinate(random));
        VECTOR3D b = MakePoint(coordinate(random), coordinate(random), coordinate(random));
        MATRIX m = MatrixAngleBetweenVectors(a, b);
        ASSERT_LT(OrthonormalError(m), 1e-6) << n;
        VECTOR3D direction = NormalizeVector(SubtractVectors(a, b));
        VECTOR3D forward = MatrixRotatePoint(m, MakePoint(0, 0, 1));
        ExpectVector(forward, direction.x, direction.y, direction.z);
    }
}

// ---- Quaternions ----

TEST(Quat, HamiltonProduct) {
    QUAT i(1, 0, 0, 0), j(0, 1, 0, 0), k(0, 0, 1, 0);
    EXPECT_TRUE(MultiplyQuats(i, j).IsEqualTo(k));
    EXPECT_TRUE(MultiplyQuats(j, i).IsEqualTo(QUAT(0, 0, -1, 0)));
    EXPECT_TRUE(MultiplyQuats(i, i).IsEqualTo(QUAT(0, 0, 0, -1)));
    QUAT q = RotationToQuat(MakePoint(10, 20, 30));
    EXPECT_TRUE(MultiplyQuats(q, QUAT()).IsEqualTo(q));
    EXPECT_TRUE(MultiplyQuats(QUAT(), q).IsEqualTo(q));
    ExpectQuat(MultiplyQuats(q, InverseQuat(q)), 0, 0, 0, 1);
    EXPECT_TRUE(InverseQuat(QUAT(1, 2, 3, 4)).IsEqualTo(QUAT(-1, -2, -3, 4)));
}

TEST(Quat, MagnitudeIsTheEuclideanLength) {
    EXPECT_EQ(QuatMagnitude(QUAT(1, 2, 2, 4)), 5);
    ExpectQuat(NormalizeQuat(QUAT(1, 2, 2, 4)), 0.2, 0.4, 0.4, 0.8);
    // A quarter turn has w^2 = z^2, so a Minkowski-style norm would be 0.
    QUAT quarter = RotationToQuat(MakePoint(0, 0, 90));
    ExpectQuat(quarter, 0, 0, std::sqrt(0.5), std::sqrt(0.5));
    EXPECT_NEAR(QuatMagnitude(quarter), 1, 1e-15);
}

TEST(Quat, AxisAndAngleTakesRadians) {
    ExpectQuat(AxisAndAngleToQuat(MakePoint(0, 0, 1), 3.141592653589793), 0, 0, 1, 0);
    // A longer axis still gives a unit quaternion.
    EXPECT_NEAR(QuatMagnitude(AxisAndAngleToQuat(MakePoint(0, 3, 4), 1.0)), 1, 1e-15);
    ExpectQuat(AxisAndAngleToQuat(MakePoint(0, 0, 0), 2.0), 0, 0, 0, 1);
}

TEST(Quat, SlerpEndsAndShortArc) {
    QUAT from = RotationToQuat(MakePoint(0, 0, 0));
    QUAT to = RotationToQuat(MakePoint(0, 0, 90));
    ExpectQuat(QuatSlerp(&from, &to, 0), 0, 0, 0, 1);
    ExpectQuat(QuatSlerp(&from, &to, 1), to.x, to.y, to.z, to.w);
    QUAT half = QuatSlerp(&from, &to, 0.5);
    ExpectQuat(half, 0, 0, std::sin(kPi / 8), std::cos(kPi / 8));
    EXPECT_NEAR(QuatMagnitude(half), 1, 1e-15);

    // A negative dot product takes the other sign of `to`.
    QUAT far(0, 0, -to.z, -to.w);
    ExpectQuat(QuatSlerp(&from, &far, 1), to.x, to.y, to.z, to.w);
    EXPECT_TRUE(far.IsEqualTo(QUAT(0, 0, -to.z, -to.w)));

    // Equal rotations interpolate linearly.
    ExpectQuat(QuatSlerp(&to, &to, 0.3), to.x, to.y, to.z, to.w, 1e-15);
    QUAT minus(0, 0, 0, -1);
    for (double t : {0.0, 0.25, 1.0}) {
        EXPECT_TRUE(QuatSlerp(&from, &minus, t).IsEqualTo(QUAT(0, 0, 0, 1))) << t;
    }
    EXPECT_TRUE(QuatSlerp(nullptr, &to, 0.5).IsEqualTo(QUAT()));
}

TEST(Quat, MatrixConventionIsTransposedToMatrixFromAngle) {
    MATRIX fromQuat = QuatToRotationMatrix(RotationToQuat(MakePoint(0, 0, 90)));
    MATRIX fromAngle = MatrixFromAngle(MakePoint(0, 0, 90));
    EXPECT_NEAR(fromQuat.m[1], 1, 1e-15);
    EXPECT_NEAR(fromQuat.m[4], -1, 1e-15);
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++)
            EXPECT_NEAR(fromQuat.m[4 * c + r], fromAngle.m[4 * r + c], 1e-15);
    }
}

TEST(Quat, FromMatrixThroughEveryBranch) {
    const QUAT cases[] = {
        QUAT(1, 0, 0, 0),
        QUAT(0, 1, 0, 0),
        QUAT(0, 0, 1, 0),                          // trace -1: each axis largest
        NormalizeQuat(QUAT(0.1, 0.9, -0.3, 0.2)),  // trace < 0
        RotationToQuat(MakePoint(30, 0, 0)),       // trace > 0
        QUAT(),
    };
    for (const QUAT& q : cases) {
        EXPECT_LT(QuatDistanceUpToSign(QuatFromMatrix(QuatToRotationMatrix(q)), q), 1e-12)
            << q.x << " " << q.y << " " << q.z << " " << q.w;
    }
    MATRIX zero;
    zero.Zero();
    QUAT fromZero = QuatFromMatrix(zero);
    EXPECT_TRUE(std::isfinite(fromZero.x) && std::isfinite(fromZero.w));
}

TEST_F(RandomRotations, QuaternionMatrixRoundTrips) {
    int throughTrace = 0;
    for (int n = 0; n < kCount; n++) {
        QUAT q = RandomUnitQuat();
        MATRIX m = QuatToRotationMatrix(q);
        ASSERT_LT(OrthonormalError(m), 1e-12) << n;
        if (m.m[0] + m.m[5] + m.m[10] > 0) throughTrace++;
        ASSERT_LT(QuatDistanceUpToSign(QuatFromMatrix(m), q), 1e-6) << n;
    }
    EXPECT_GT(throughTrace, kCount / 10);
    EXPECT_LT(throughTrace, kCount * 9 / 10);
}

TEST_F(RandomRotations, EulerQuaternionsTurnLikeRotate) {
    for (int n = 0; n < kCount; n++) {
        VECTOR3D angles = RandomAngles();
        QUAT q = RotationToQuat(angles);
        ASSERT_NEAR(QuatMagnitude(q), 1, 1e-12) << n;
        VECTOR3D expected = MakePoint(0.3f, -1.2f, 2);
        Rotate(&expected, angles.x, angles.y, angles.z);
        VECTOR3D turned = MatrixRotatePoint(QuatToRotationMatrix(q), MakePoint(0.3f, -1.2f, 2));
        ExpectVector(turned, expected.x, expected.y, expected.z, 1e-5f);
    }
}

// ---- View frustum ----

class Frustum : public ::testing::Test {
   protected:
    static void SetMatrices(double fovy) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (fovy > 0) gluPerspective(fovy, 1, 1, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    static void ExpectPlane(int plane, float a, float b, float c, float d, float tolerance) {
        EXPECT_NEAR(frustum[plane][0], a, tolerance) << plane;
        EXPECT_NEAR(frustum[plane][1], b, tolerance) << plane;
        EXPECT_NEAR(frustum[plane][2], c, tolerance) << plane;
        EXPECT_NEAR(frustum[plane][3], d, tolerance) << plane;
    }
};

TEST_F(Frustum, ZeroTableHoldsNoPoints) {
    memset(frustum, 0, sizeof frustum);
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, 0)));
    EXPECT_TRUE(SphereInFrustum(MakePoint(1e6f, 0, 0), 0.001f));
}

TEST_F(Frustum, IdentityMatricesGiveTheUnitCube) {
    REQUIRE_GL();
    SetMatrices(0);
    ExtractFrustum();
    ExpectPlane(0, -1, 0, 0, 1, 0);
    ExpectPlane(1, 1, 0, 0, 1, 0);
    ExpectPlane(2, 0, 1, 0, 1, 0);
    ExpectPlane(3, 0, -1, 0, 1, 0);
    ExpectPlane(4, 0, 0, -1, 1, 0);
    ExpectPlane(5, 0, 0, 1, 1, 0);

    EXPECT_TRUE(PointInFrustum(MakePoint(0, 0, 0)));
    EXPECT_FALSE(PointInFrustum(MakePoint(1, 0, 0)));
    EXPECT_TRUE(PointInFrustum(MakePoint(0.999f, 0, 0)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, -1.5f)));
    EXPECT_TRUE(PointInFrustum(MakePoint(float(kNaN), 0, 0)));

    EXPECT_FALSE(SphereInFrustum(MakePoint(1.5f, 0, 0), 0.5f));
    EXPECT_TRUE(SphereInFrustum(MakePoint(1.4f, 0, 0), 0.5f));
    EXPECT_TRUE(SphereInsideSinglePlaneFrustum(0, MakePoint(1.4f, 0, 0), 0.5f));
    EXPECT_FALSE(SphereInsideSinglePlaneFrustum(0, MakePoint(1.5f, 0, 0), 0.5f));
    EXPECT_TRUE(SphereInsideSinglePlaneFrustum(1, MakePoint(1.5f, 0, 0), 0.5f));
    EXPECT_FALSE(SphereInsideSinglePlaneFrustum(6, MakePoint(0, 0, 0), 1));
    EXPECT_FALSE(SphereInsideSinglePlaneFrustum(-1, MakePoint(0, 0, 0), 1));
}

TEST_F(Frustum, PointAtEdgeMovesAlongOneAxis) {
    REQUIRE_GL();
    SetMatrices(0);
    ExtractFrustum();
    VECTOR3D p = MakePoint(5, 0.2f, 0.3f);
    ExpectVector(PointAtEdgeOfFrustum(0, p), 1, 0.2f, 0.3f, 0);
    ExpectVector(PointAtEdgeOfFrustum(1, p), -1, 0.2f, 0.3f, 0);
    ExpectVector(PointAtEdgeOfFrustum(3, p), 5, 1, 0.3f, 0);
    ExpectVector(PointAtEdgeOfFrustum(5, p), 5, 0.2f, -1, 0);
    ExpectVector(PointAtEdgeOfFrustum(6, p), 0, 0, 0, 0);
    ExpectVector(PointAtEdgeOfFrustum(-1, p), 0, 0, 0, 0);
}

TEST_F(Frustum, PerspectiveProjection) {
    REQUIRE_GL();
    SetMatrices(90);
    ExtractFrustum();
    const float h = float(std::sqrt(0.5));
    ExpectPlane(0, -h, 0, -h, 0, 1e-6f);
    ExpectPlane(1, h, 0, -h, 0, 1e-6f);
    ExpectPlane(2, 0, h, -h, 0, 1e-6f);
    ExpectPlane(3, 0, -h, -h, 0, 1e-6f);
    ExpectPlane(4, 0, 0, 1, 100, 1e-3f);
    ExpectPlane(5, 0, 0, -1, -1, 1e-5f);

    EXPECT_TRUE(PointInFrustum(MakePoint(0, 0, -50)));
    EXPECT_TRUE(PointInFrustum(MakePoint(40, -40, -50)));
    EXPECT_FALSE(PointInFrustum(MakePoint(60, 0, -50)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, -0.5f)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, -150)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, 10)));
    EXPECT_TRUE(SphereInFrustum(MakePoint(0, 0, -0.5f), 1));
    EXPECT_FALSE(SphereInFrustum(MakePoint(0, 0, -0.5f), 0.4f));
}

TEST_F(Frustum, ModelviewMovesTheVolume) {
    REQUIRE_GL();
    SetMatrices(90);
    glTranslatef(0, 0, -10);
    ExtractFrustum();
    EXPECT_TRUE(PointInFrustum(MakePoint(0, 0, 0)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, 9.5f)));
    EXPECT_NEAR(frustum[5][3], 9, 1e-4);
    // Turned a quarter about Y, object +X lies straight ahead and -Z far to
    // the left.
    glRotatef(90, 0, 1, 0);
    ExtractFrustum();
    EXPECT_TRUE(PointInFrustum(MakePoint(20, 0, 0)));
    EXPECT_FALSE(PointInFrustum(MakePoint(0, 0, -20)));
    SetMatrices(0);
}

// ---- Diagnostics ----

class Diagnostics : public ::testing::Test {
   protected:
    void SetUp() override {
        char pattern[] = "/tmp/kindora-geometry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(directory.c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(previous), 0);
        for (const char* name : {"test.txt", "debug.txt"})
            remove((directory + "/" + name).c_str());
        rmdir(directory.c_str());
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void Write(const std::string& path, const char* text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string directory;
    char previous[4096] = {};
};

TEST_F(Diagnostics, DebugValuesAppendAndTextReplaces) {
    std::string path = directory + "/debug.txt";
    Write(path, "earlier\n");
    EXPECT_TRUE(AppendDebugValue(path.c_str(), 1.5));
    EXPECT_TRUE(AppendDebugValue(path.c_str(), 1.5));
    EXPECT_EQ(Read(path), "earlier\n1.500000\n1.500000\n");
    EXPECT_TRUE(WriteDebugText(path.c_str(), "abc"));
    EXPECT_EQ(Read(path), "abc\n");
    EXPECT_TRUE(WriteDebugPoint(path.c_str(), MakePoint(1, 2, 3)));
    EXPECT_EQ(Read(path), "1.000000,2.000000,3.000000\n");
    EXPECT_TRUE(WriteDebugText(path.c_str(), nullptr));
    EXPECT_EQ(Read(path), "\n");
}

TEST_F(Diagnostics, SaveMatrixAppendsOneColumnPerLine) {
    Write("test.txt", "before");
    SaveMatrix(MATRIX());
    MATRIX moved;
    moved.SetTranslation(MakePoint(1, -2.5f, 3));
    SaveMatrix(moved);
    const char* identity =
        "\n"
        "1.00000 0.00000 0.00000 0.00000 \n"
        "0.00000 1.00000 0.00000 0.00000 \n"
        "0.00000 0.00000 1.00000 0.00000 \n";
    EXPECT_EQ(Read("test.txt"), std::string("before") + identity +
                                    "0.00000 0.00000 0.00000 1.00000 \n" + identity +
                                    "1.00000 -2.50000 3.00000 1.00000 \n");
}

TEST_F(Diagnostics, UnopenableFilesAreSkipped) {
    const char* missing = "/nonexistent-kindora-folder/debug.txt";
    EXPECT_FALSE(AppendDebugValue(missing, 1));
    EXPECT_FALSE(WriteDebugText(missing, "abc"));
    EXPECT_FALSE(WriteDebugPoint(missing, MakePoint(1, 2, 3)));
    EXPECT_FALSE(AppendMatrixText(missing, MATRIX()));
    EXPECT_FALSE(AppendDebugValue(nullptr, 1));
    ERRORBOX("ignored");
    ERRORCLOSE(nullptr);
    // The fixed debug folder is missing on most machines; never write into a
    // real one from a test.
    if (access("/Users/Shared", F_OK) == 0) GTEST_SKIP() << "/Users/Shared exists";
    DEBUG(1.5);
    DEBUGstr("abc");
    DEBUGp3d(MakePoint(1, 2, 3));
    EXPECT_NE(access(kDebugFilePath, F_OK), 0);
}

}  // namespace
