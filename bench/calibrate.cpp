// The calibration of bench/run: a fixed amount of pure arithmetic on one
// thread, no memory traffic and no system call. bench/run times one copy
// alone and two at once; two free cores run the pair in the time of one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200000000u;
  uint64_t x = 88172645463325252u;
  for (uint64_t i = 0; i < rounds; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
  }
  // The result is printed so that the loop cannot be left out.
  std::printf("%llu\n", static_cast<unsigned long long>(x & 1));
  return 0;
}
