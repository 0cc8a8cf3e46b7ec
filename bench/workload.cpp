// Generates a realistic job for the benchmarks: a Ramberg-Osgood backbone of
// about 240 points and a band-limited random strain history.
//
//   hysteresis_workload DIR ENTRIES [SEED]
// writes DIR/input.txt (with the group LIFE after PARAMETRE) and
// DIR/deformacia.txt.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kE = 206000.0;  // modulus, MPa
constexpr double kK = 1184.0;    // cyclic strength coefficient, MPa
constexpr double kN = 0.187;     // cyclic strain-hardening exponent
constexpr int kPoints = 240;     // backbone points after the origin

double StrainOf(double stress) { return stress / kE + std::pow(stress / kK, 1.0 / kN); }

bool WriteBackbone(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  const int n = kPoints - 1;  // points 0..N+1
  std::fprintf(f, "%d\n&PARAMETRE\n EY =", n);
  std::vector<double> stresses;
  for (int i = 0; i <= kPoints; ++i) stresses.push_back(800.0 * i / kPoints);
  for (size_t i = 0; i < stresses.size(); ++i)
    std::fprintf(f, "%s %.7E", i % 6 == 0 ? "\n " : "", StrainOf(stresses[i]));
  std::fprintf(f, ",\n SY =");
  for (size_t i = 0; i < stresses.size(); ++i)
    std::fprintf(f, "%s %.7E", i % 6 == 0 ? "\n " : "", stresses[i]);
  std::fprintf(f, "\n /\n");
  // The strain-life constants of a structural steel, for hysteresis-life.
  std::fprintf(f, "&LIFE E=%.0f, SF=1130, B=-0.087, EF=0.57, C=-0.58 /\n", kE);
  return std::fclose(f) == 0;
}

// A sum of a few random low-frequency sines plus smoothed noise: the kind of
// signal a strain gauge on a loaded component records.
bool WriteHistory(const std::string& path, long entries, unsigned seed) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::vector<char> buf(1 << 20);
  std::setvbuf(f, buf.data(), _IOFBF, buf.size());
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  struct Wave {
    double amp, freq, phase;
  };
  std::vector<Wave> waves;
  for (int i = 0; i < 6; ++i)
    waves.push_back({0.004 * uni(rng), 0.001 + 0.05 * uni(rng), 6.283185307 * uni(rng)});
  std::normal_distribution<double> noise(0.0, 0.0015);
  double smooth = 0.0;
  for (long i = 0; i < entries; ++i) {
    double v = 0.0;
    for (const Wave& w : waves) v += w.amp * std::sin(w.freq * static_cast<double>(i) + w.phase);
    smooth = 0.9 * smooth + 0.1 * noise(rng);
    v += smooth;
    std::fprintf(f, "%.6E\n", v);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIR ENTRIES [SEED]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const long entries = std::strtol(argv[2], nullptr, 10);
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1u;
  if (!WriteBackbone(dir + "/input.txt") || !WriteHistory(dir + "/deformacia.txt", entries, seed)) {
    std::perror("hysteresis_workload");
    return 1;
  }
  return 0;
}
