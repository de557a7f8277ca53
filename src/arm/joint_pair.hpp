#pragma once

namespace quorvel {

// (theta_a, theta_b) in radians, used unchanged (never wrapped).
struct JointPair {
    double theta_a = 0.0;
    double theta_b = 0.0;
};

}  // namespace quorvel
