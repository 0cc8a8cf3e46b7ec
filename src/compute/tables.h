// The backbone and the two working branches: their tables, their initial
// content, the slopes, and the rewriting of the branches at a reversal.
#pragma once
#include <cstdint>

// The backbone (EY, SY: points 0..N+1), its segment slopes (ET: 0..N) and the
// ascending (EYP, SYP) and descending (EYN, SYN) branches, with the stepping
// scalars that the branch operations share.
struct Tables {
  int32_t N = 0;
  float* EY = nullptr;
  float* SY = nullptr;
  float* ET = nullptr;
  float* EYP = nullptr;
  float* SYP = nullptr;
  float* EYN = nullptr;
  float* SYN = nullptr;
  int32_t K = 0;     // current segment of the active branch, 0..N
  float EREV = 0.0f; // strain at the last reversal
};

// Copies the backbone into the branches: EYP = EY, EYN = 0 - EY, then
// SYP = SY, SYN = 0 - SY, for points 0..N+1.
void InitBranches(Tables& t);

// ET(i) = (SY(i+1) - SY(i)) / (EY(i+1) - EY(i)) for i = 0..N. The first
// multiple of eight slopes use the refined reciprocal estimate of the
// processor; the rest are correctly rounded divisions.
void ComputeSlopes(Tables& t);

// Stress on segment K of a branch: (e - strains[K]) * ET[K] + stresses[K],
// each operation rounded to single precision.
float BranchStress(const Tables& t, float e, const float* strains, const float* stresses);

// Direction of a branch being rebuilt: the new branch of a reversal runs up
// (+1) or down (-1); the branch that collapses onto the reversal point is 0.
enum BranchRole : int { kBranchCollapsing = 0, kBranchRising = 1, kBranchFalling = -1 };

// strains[0] = EREV, then strains[i+1] = strains[i] + (stresses[i+1] -
// stresses[i]) / ET[i] for i < K. Across a segment of zero slope the step is
// 2 * (EY[i+1] - EY[i]) in the direction of a new branch, 0 on a collapsing one.
void RebuildStrains(Tables& t, const float* stresses, float* strains, BranchRole role);

// The strain turned from growing to falling at stress sr (EREV already set).
void ReverseDown(Tables& t, float sr);

// The strain turned from falling to growing at stress sr (EREV already set).
void ReverseUp(Tables& t, float sr);
