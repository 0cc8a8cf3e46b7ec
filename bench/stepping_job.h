// The stepping benchmarks' job: a 240-point Ramberg-Osgood backbone and a
// band-limited random strain history that reverses often.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/backbone.h"

namespace benchjob {

constexpr int kPoints = 240;  // backbone points after the origin

// A Ramberg-Osgood backbone of kPoints + 1 points.
inline testsupport::BackboneTables Backbone() {
  std::vector<float> ey, sy;
  for (int i = 0; i <= kPoints; ++i) {
    const double stress = 800.0 * i / kPoints;
    ey.push_back(static_cast<float>(stress / 206000.0 + std::pow(stress / 1184.0, 1.0 / 0.187)));
    sy.push_back(static_cast<float>(stress));
  }
  return testsupport::BackboneTables(std::move(ey), std::move(sy));
}

// `entries` strains: six sines of random amplitude, frequency and phase and
// smoothed noise; the first is 0.
inline std::vector<float> History(int64_t entries) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.0015);
  double amp[6], freq[6], phase[6], smooth = 0.0;
  for (int w = 0; w < 6; ++w) {
    amp[w] = 0.004 * uni(rng);
    freq[w] = 0.001 + 0.05 * uni(rng);
    phase[w] = 6.283185307 * uni(rng);
  }
  std::vector<float> def;
  def.reserve(static_cast<size_t>(entries));
  for (int64_t i = 0; i < entries; ++i) {
    double v = 0.0;
    for (int w = 0; w < 6; ++w) v += amp[w] * std::sin(freq[w] * static_cast<double>(i) + phase[w]);
    smooth = 0.9 * smooth + 0.1 * noise(rng);
    def.push_back(static_cast<float>(v + smooth));
  }
  def[0] = 0.0f;
  return def;
}

// The backbone tables and histories of one job, rebuilt before each run.
struct Job : testsupport::BackboneTables {
  std::vector<float> def, sig;

  explicit Job(int64_t entries) : BackboneTables(Backbone()), def(History(entries)) {
    sig.assign(def.size(), 0.0f);
  }
};

}  // namespace benchjob
