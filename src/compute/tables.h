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
  int32_t K = 0;      // current segment of the active branch, 0..N
  float EREV = 0.0f;  // strain at the last reversal
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

// Strains of one branch that a reversal rebuilt but nobody has read yet.
// They are kept as disjoint ranges first..last of points: the lowest range
// (the top) in low..high, the others in a stack whose last pair is the next
// one up. Invariant, for every range:
//   - 1 <= first <= last <= N, and point first - 1 is not pending: its strain
//     is stored and final;
//   - every pending point i holds its step in strains[i], and its value is
//     that of the point-by-point rebuild, strains[i - 1] + step, computed in
//     order from first - 1 (the steps are those of BranchSteps, so the sums
//     are the only thing left to do);
//   - the step has the new-branch role of the branch (rising for EYP,
//     falling for EYN); a collapsing branch is always rebuilt in full.
// Since ranges are separated by computed points there are at most
// (N + 1) / 2 of them. A rebuild over 0..K rewrites points 0..K, among them
// the base of point K + 1, so it first computes a range that holds K + 1 up
// to K + 1 (from the old steps) and drops the ranges within 1..K; the ranges
// above K + 1 keep their base and their steps and stay pending.
struct PendingStrains {
  int32_t* below = nullptr;  // the other ranges, pairs (first, last)
  int32_t count = 0;         // pairs in `below`
  int32_t low = INT32_MAX;   // first point of the top range, INT32_MAX when none
  int32_t high = 0;          // last point of the top range
};

// The pending strains of both branches of a stepping.
struct LazyBranches {
  PendingStrains up;      // of EYP
  PendingStrains down;    // of EYN
  int32_t nan_slope = 0;  // the first segment whose slope is NaN, N + 1 if none
  bool plateaus = true;   // some slope is zero
};

// The number of range pairs the stack of a PendingStrains of a backbone with
// N needs.
int32_t PendingCapacity(int32_t n);

// Sets what the lazy reversals need to know of the slopes (StartLazy after
// ComputeSlopes, before the first lazy reversal).
void StartLazy(const Tables& t, LazyBranches& lazy);

// ReverseDown whose new descending branch is left pending (see
// PendingStrains) but for its first points, computed at once; the
// collapsing branch is rebuilt in full.
void ReverseDownLazy(Tables& t, LazyBranches& lazy, float sr);

// ReverseUp whose new ascending branch is left pending.
void ReverseUpLazy(Tables& t, LazyBranches& lazy, float sr);

// Computes the pending points of EYP (role rising) or EYN (role falling) up
// to point j; a few points after j in the same range may be computed too.
void ComputePendingTo(const Tables& t, PendingStrains& p, BranchRole role, int32_t j);

// Computes every pending point of both branches: the tables are then those of
// the point-by-point rebuilds.
void CompleteBranches(const Tables& t, LazyBranches& lazy);
