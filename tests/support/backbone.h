// Test support: a backbone and its branch tables held in vectors, with the
// Tables record pointing at them, initialised as the driver does.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "compute/tables.h"

namespace testsupport {

struct BackboneTables {
  std::vector<float> ey, sy, et, eyp, syp, eyn, syn;
  Tables t;

  BackboneTables(std::vector<float> e, std::vector<float> s) : ey(std::move(e)), sy(std::move(s)) {
    Reset();
  }

  // Fresh branches and slopes from the backbone, K = 0.
  void Reset() {
    const size_t points = ey.size();
    et.assign(points - 1, 0.0f);
    eyp.assign(points, 0.0f);
    syp.assign(points, 0.0f);
    eyn.assign(points, 0.0f);
    syn.assign(points, 0.0f);
    t = Tables{};
    t.N = static_cast<int32_t>(points) - 2;
    t.EY = ey.data();
    t.SY = sy.data();
    t.ET = et.data();
    t.EYP = eyp.data();
    t.SYP = syp.data();
    t.EYN = eyn.data();
    t.SYN = syn.data();
    InitBranches(t);
    ComputeSlopes(t);
  }
};

}  // namespace testsupport
