#include "arm/differential_kinematics.hpp"

#include <cmath>
#include <limits>

#include "arm/elbow_points.hpp"
#include "arm/end_effector_frame.hpp"
#include "arm/forward_kinematics.hpp"

namespace quorvel {

namespace {

// Differentiating the closure v_3.v_2 = v_3.v_4 = cos(coupler_arc),
// |v_3| = 1 with dv_2 = dtheta_a (u_A x v_2), dv_4 = dtheta_b (u_B x v_4)
// gives v_2.dv_3 = -serial_a dtheta_a, v_4.dv_3 = -serial_b dtheta_b and
// v_3.dv_3 = 0. Solving that 3x3 system (determinant parallel) gives
// dv_3 = -(serial_a dtheta_a w_a + serial_b dtheta_b w_b) / parallel.
struct Differentials {
    // cppcheck-suppress unusedStructMember ; false positive: read through std::optional
    ArmPose pose;
    // cppcheck-suppress unusedStructMember ; false positive: read through std::optional
    Vector3 axis_a;
    // cppcheck-suppress unusedStructMember ; false positive: read through std::optional
    Vector3 axis_b;
    double serial_a;
    double serial_b;
    double parallel;
    Vector3 w_a;  // v_4 x v_3
    Vector3 w_b;  // v_3 x v_2
};

std::optional<Differentials> differentials(const SphericalLinkGeometry& geometry, double theta_a, double theta_b) {
    const std::optional<ArmPose> pose = forward_kinematics(geometry, theta_a, theta_b);
    if (!pose) return std::nullopt;
    const Vector3 axis_a = joint_axis_a();
    const Vector3 axis_b = joint_axis_b(geometry);
    const Vector3& v_2 = pose->v_2;
    const Vector3& v_3 = pose->v_3;
    const Vector3& v_4 = pose->v_4;
    return Differentials{*pose,
                         axis_a,
                         axis_b,
                         dot(axis_a, cross(v_2, v_3)),
                         dot(axis_b, cross(v_4, v_3)),
                         dot(v_2, cross(v_4, v_3)),
                         cross(v_4, v_3),
                         cross(v_3, v_2)};
}

Vector3 frame_column(const Matrix3& r, int j) { return {r[0][j], r[1][j], r[2][j]}; }

// The two columns of J_v, as vectors.
struct DirectionColumns {
    Vector3 a;
    Vector3 b;
};

DirectionColumns direction_columns(const Differentials& d) {
    return {(-d.serial_a / d.parallel) * d.w_a, (-d.serial_b / d.parallel) * d.w_b};
}

Jacobian3x2 from_columns(const Vector3& a, const Vector3& b) { return {{{a.x, b.x}, {a.y, b.y}, {a.z, b.z}}}; }

// sigma_max / sigma_min of the 2x2 tangent Jacobian. J_v = -K / parallel with
// K = [serial_a w_a, serial_b w_b]; the ratio does not see the scale, so it is
// taken from K, whose squared Frobenius norm is f and whose determinant in the
// tangent plane is serial_a serial_b parallel (w_a, w_b have length
// sin(coupler_arc) and v_3.(w_a x w_b) = parallel). With D that determinant's
// size, sigma_max^2 = (f + sqrt(f^2 - 4 D^2)) / 2 and the ratio is
// sigma_max^2 / D.
double condition_number(const Differentials& d) {
    const double f = d.serial_a * d.serial_a * dot(d.w_a, d.w_a) + d.serial_b * d.serial_b * dot(d.w_b, d.w_b);
    const double det = std::fabs(d.serial_a * d.serial_b * d.parallel);
    if (det == 0.0) return std::numeric_limits<double>::infinity();
    double lower = f - 2.0 * det;
    if (lower < 0.0) lower = 0.0;  // rounding at a perfectly conditioned pose
    return (f + std::sqrt(lower) * std::sqrt(f + 2.0 * det)) / (2.0 * det);
}

}  // namespace

std::optional<Jacobian3x2> direction_jacobian(const SphericalLinkGeometry& geometry, double theta_a, double theta_b) {
    const std::optional<Differentials> d = differentials(geometry, theta_a, theta_b);
    if (!d) return std::nullopt;
    const DirectionColumns j = direction_columns(*d);
    return from_columns(j.a, j.b);
}

// omega = v_3 x dv_3 + s v_3 with s = de1 . e2, the spin of the frame about
// v_3. With e1 = p/|p|, p = r - (r.v_3) v_3 and r the reference direction:
// de1 . e2 = dp . e2 / |p| = (dr . e2 - (r.v_3)(dv_3 . e2)) / |p|, since e2 is
// perpendicular to v_3 and e1. For the elbows' midpoint r = S/|S|, S = v_2 + v_4,
// r . e2 = 0 leaves dr . e2 = dS . e2 / |S|, and with |S| |p| = S . e1
// s = (dS . e2 - (S.v_3)(dv_3 . e2)) / (S . e1). A fixed axis a has dr = 0:
// s = -(a.v_3)(dv_3 . e2) / |p|.
std::optional<Jacobian3x2> angular_jacobian(const SphericalLinkGeometry& geometry, double theta_a, double theta_b) {
    const std::optional<Differentials> d = differentials(geometry, theta_a, theta_b);
    if (!d) return std::nullopt;
    const ArmPose& pose = d->pose;
    const Vector3& v_3 = pose.v_3;
    const Vector3 e1 = frame_column(pose.rotation, 0);
    const Vector3 e2 = frame_column(pose.rotation, 1);
    const Vector3 sum = pose.v_2 + pose.v_4;
    double across = dot(sum, e1);  // |S| |p|
    double along = dot(sum, v_3);
    bool fixed_axis = false;
    // Far from the forward kinematics' 1e-12 threshold on |p| its branch is
    // plain; near it, retrace its steps to take the same one.
    if (!(across * across > 1e-20 * dot(sum, sum))) {
        const FrameReference f = frame_reference(pose.v_2, v_3, pose.v_4);
        fixed_axis = f.fixed_axis;
        across = fixed_axis ? f.length : f.length * f.sum_length;
        along = fixed_axis ? dot(f.direction, v_3) : dot(sum, v_3);
    }
    const DirectionColumns j = direction_columns(*d);
    const auto omega = [&](const Vector3& dv_3, const Vector3& d_sum) {
        double spin = -along * dot(dv_3, e2);
        if (!fixed_axis) spin = dot(d_sum, e2) + spin;
        return cross(v_3, dv_3) + (spin / across) * v_3;
    };
    return from_columns(omega(j.a, cross(d->axis_a, pose.v_2)), omega(j.b, cross(d->axis_b, pose.v_4)));
}

std::optional<SingularityMeasures> singularity_measures(const SphericalLinkGeometry& geometry, double theta_a,
                                                        double theta_b) {
    const std::optional<Differentials> d = differentials(geometry, theta_a, theta_b);
    if (!d) return std::nullopt;
    return SingularityMeasures{d->serial_a, d->serial_b, d->parallel, condition_number(*d),
                               std::fabs(d->serial_a * d->serial_b / d->parallel)};
}

// With K2 = [e1 e2]^T K (so J_2 = -K2/parallel) and b the tangent rate, the
// damped normal equations (J_2^T J_2 + lambda^2 I) q = J_2^T b, multiplied by
// parallel^2, become (K2^T K2 + lambda^2 parallel^2 I) q = -parallel K2^T b.
// Solving by the adjugate (adj(K2^T K2) K2^T = det(K2) adj(K2), det(K2) =
// serial_a serial_b parallel) and cancelling parallel^2:
// q = -(serial_a serial_b adj(K2) b + lambda^2 parallel K2^T b)
//     / (serial_a^2 serial_b^2 + lambda^2 |K|_F^2 + lambda^4 parallel^2),
// where adj(K2) b = (serial_b (v_2.t), serial_a (v_4.t)) and
// K2^T b = (serial_a (w_a.t), serial_b (w_b.t)). lambda = 0 reduces it to the
// undamped formulas.
std::optional<JointPair> joint_rates(const SphericalLinkGeometry& geometry, double theta_a, double theta_b,
                                     const Vector3& v3_rate, double damping) {
    const std::optional<Differentials> d = differentials(geometry, theta_a, theta_b);
    if (!d) return std::nullopt;
    const Vector3& v_3 = d->pose.v_3;
    const Vector3 t = v3_rate - dot(v3_rate, v_3) * v_3;
    const double g_a = dot(d->pose.v_2, t);
    const double g_b = dot(d->pose.v_4, t);
    const double sa = d->serial_a;
    const double sb = d->serial_b;
    if (damping == 0.0) {
        // Written so that NaN passes and flows into the rates.
        if (std::fabs(sa) < 1e-12 || std::fabs(sb) < 1e-12) return std::nullopt;
        return JointPair{-g_a / sa, -g_b / sb};
    }
    const double l2 = damping * damping;
    const double p = d->parallel;
    const double h_a = dot(d->w_a, t);
    const double h_b = dot(d->w_b, t);
    const double frobenius = sa * sa * dot(d->w_a, d->w_a) + sb * sb * dot(d->w_b, d->w_b);
    const double den = sa * sa * (sb * sb) + l2 * frobenius + l2 * l2 * (p * p);
    return JointPair{-sa * (sb * sb * g_a + l2 * p * h_a) / den, -sb * (sa * sa * g_b + l2 * p * h_b) / den};
}

}  // namespace quorvel
