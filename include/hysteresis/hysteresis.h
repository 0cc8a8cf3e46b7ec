/* The engine of `hysteresis` as a library: the stress response of a backbone
 * to a strain history fed in pieces, closed loops and fatigue life.
 *
 * Usage in short:
 *
 *   hys_backbone* b;  hys_stepper* s;
 *   hys_backbone_create(n, ey, sy, &b);     // points 0..n+1
 *   hys_stepper_create(b, &s);
 *   hys_stepper_feed(s, strain, stress, count);   // as often as needed
 *   hys_stepper_free(s);  hys_backbone_free(b);
 *
 * Every function that can fail returns a status (HYS_OK or one of the
 * HYS_E_* values below) and leaves its outputs untouched on failure. Nothing
 * in the library ends the process, writes to a stream or keeps global state:
 * any number of backbones, steppers and counters may be used, each object by
 * one thread at a time. The stresses are computed in IEEE single precision
 * with results that would be subnormal flushed to zero, exactly as the
 * program computes them; each call sets that floating-point mode on entry
 * and gives the caller's mode back before it returns.
 */
#ifndef HYSTERESIS_HYSTERESIS_H
#define HYSTERESIS_HYSTERESIS_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define HYS_API __attribute__((visibility("default")))
#else
#define HYS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Statuses ------------------------------------------------------------ */

enum hys_status {
  HYS_OK = 0,
  /* A pointer that must not be null is null. */
  HYS_E_NULL = 1,
  /* N is negative, or so large that N + 2 points do not fit in 32 bits. */
  HYS_E_COUNT = 2,
  /* An EY or SY value is NaN or infinite. */
  HYS_E_NOT_FINITE = 3,
  /* EY(0) or SY(0) is not zero: the path starts at the origin. */
  HYS_E_ORIGIN = 4,
  /* EY is not strictly increasing. */
  HYS_E_STRAIN_ORDER = 5,
  /* SY falls somewhere, or SY(1) is not above 0 (no elastic range). A flat
   * segment (a yield plateau) after the first one is accepted. */
  HYS_E_STRESS_ORDER = 6,
  /* A segment slope is infinite or NaN in single precision (a strain step
   * that flushes to zero), the first slope is not above 0, or twice the
   * last EY or SY overflows: the branches of a reversal could not be
   * formed. */
  HYS_E_RANGE = 7,
  /* Memory for the tables could not be had. */
  HYS_E_MEMORY = 8,
  /* A material constant is not finite, or E, SF or EF is not above 0, or B
   * or C is not below 0. */
  HYS_E_MATERIAL = 9,
  /* An enumeration argument (residue mode, damage parameter) out of range. */
  HYS_E_ARGUMENT = 10
};

/* A short English text for a status ("invalid material constants", ...);
 * "unknown status" for a value that is none of the above. Never null. */
HYS_API const char* hys_status_text(int status);

/* The library's version, "MAJOR.MINOR". */
HYS_API const char* hys_version(void);

/* ---- Backbone and stepping ----------------------------------------------- */

/* A backbone: its points, its slopes. Immutable once created; any number of
 * steppers in any number of threads may share it. */
typedef struct hys_backbone hys_backbone;

/* A path being computed on a backbone. */
typedef struct hys_stepper hys_stepper;

/* Creates the backbone of `n` + 1 segments from the strains ey[0..n+1] and
 * stresses sy[0..n+1] (both copied), with its slopes computed as the program
 * computes them. Refused (see the statuses): a null pointer, n < 0, a value
 * that is not finite, EY(0) or SY(0) not zero, EY not strictly increasing,
 * SY falling or SY(1) <= 0, a slope out of range or an overflow of twice a
 * value. n = 0 is a one-segment (linear) backbone; flat segments after the
 * first (yield plateaus) are accepted. */
HYS_API int hys_backbone_create(int32_t n, const float* ey, const float* sy, hys_backbone** out);

/* Drops the caller's reference; the backbone is freed when no stepper holds
 * it either. Null is accepted. */
HYS_API void hys_backbone_free(hys_backbone* backbone);

/* Creates a stepper at the start of a path on `backbone`, which it keeps (the
 * caller may free its own reference at once). */
HYS_API int hys_stepper_create(hys_backbone* backbone, hys_stepper** out);

/* Steps the next `count` strains of the path and writes their stresses to
 * stress[0..count-1]; `stress` may be `strain` itself. The first strain of a
 * path is taken as 0 with stress 0 (the path starts at the origin, whatever
 * the strain says). However the path is cut into calls, the stresses are
 * bit for bit those that `hysteresis` writes for the same backbone and
 * history. NaN and infinite strains are stepped as the program steps them.
 * count = 0 does nothing (the pointers may then be null). */
HYS_API int hys_stepper_feed(hys_stepper* stepper, const float* strain, float* stress,
                             size_t count);

/* The number of strains fed since creation or the last reset. */
HYS_API int64_t hys_stepper_entries(const hys_stepper* stepper);

/* Starts a new path at the origin on the same backbone. */
HYS_API void hys_stepper_reset(hys_stepper* stepper);

/* Frees the stepper (and its backbone when it held the last reference).
 * Null is accepted. */
HYS_API void hys_stepper_free(hys_stepper* stepper);

/* The whole path at once: stress[0..count-1] for strain[0..count-1] on the
 * backbone (n, ey, sy), as hys_backbone_create and one hys_stepper_feed
 * would give them; the same statuses. */
HYS_API int hys_stress(int32_t n, const float* ey, const float* sy, const float* strain,
                       float* stress, size_t count);

/* ---- Closed loops -------------------------------------------------------- */

/* One entry of a path: its number (1 for the first entry fed to a counter,
 * the record number of the program's "output.txt" for a whole path), strain
 * and stress. */
typedef struct hys_point {
  int64_t entry;
  double strain;
  double stress;
} hys_point;

/* One counted cycle: a closed loop between the turning points b and c
 * (count 1, closed by entry `closing_entry`), or a half cycle of the
 * residue from b to c (count 0.5, `closing_entry` 0). */
typedef struct hys_loop {
  hys_point b;
  hys_point c;
  int64_t closing_entry;
  double count;
} hys_loop;

/* Receives each counted cycle in the order the cycles are found; `loop` is
 * valid during the call only. */
typedef void (*hys_loop_callback)(const hys_loop* loop, void* context);

/* What hys_counter_finish does with the turning points left open. */
enum hys_residue {
  HYS_RESIDUE_HALF_CYCLES = 0, /* a half cycle between each two consecutive points */
  HYS_RESIDUE_REPEAT = 1,      /* the residue runs once more after itself; the loops
                                  that closes are counted, the rest is dropped */
  HYS_RESIDUE_NONE = 2         /* dropped */
};

/* A loop count: the turning points of a path fed in pieces and the four-point
 * rule on strains. */
typedef struct hys_counter hys_counter;

/* Creates a counter that hands each closed loop to `callback` (which may be
 * null to count nothing, and is called with `context`). */
HYS_API int hys_counter_create(hys_loop_callback callback, void* context, hys_counter** out);

/* Feeds the next `count` entries of the path (strain[i], stress[i]), such as
 * a stepper's input and output; the loops they close go to the callback. */
HYS_API int hys_counter_feed(hys_counter* counter, const float* strain, const float* stress,
                             size_t count);

/* Ends the path: its last entry becomes a turning point and the residue goes
 * to the callback as `residue` (an enum hys_residue) says. The counter then
 * starts a new path, numbered from 1 again. */
HYS_API int hys_counter_finish(hys_counter* counter, int residue);

/* Frees the counter. Null is accepted. */
HYS_API void hys_counter_free(hys_counter* counter);

/* ---- Strain-life curve and damage ---------------------------------------- */

/* Constants of the strain-life curve eps_a = SF / E * (2N)^B + EF * (2N)^C. */
typedef struct hys_material {
  double E;  /* Young's modulus */
  double SF; /* fatigue strength coefficient */
  double B;  /* fatigue strength exponent */
  double EF; /* fatigue ductility coefficient */
  double C;  /* fatigue ductility exponent */
} hys_material;

enum hys_parameter {
  HYS_PARAMETER_SWT = 0,    /* Smith-Watson-Topper, P = sqrt(sigma_max * eps_a * E) */
  HYS_PARAMETER_MORROW = 1, /* mean-stress correction of the elastic term */
  HYS_PARAMETER_STRAIN = 2  /* strain amplitude, no mean-stress correction */
};

/* What one loop does to the material. */
typedef struct hys_damage {
  double strain_amplitude; /* (eps_max - eps_min) / 2 */
  double stress_amplitude; /* (sigma_max - sigma_min) / 2 */
  double mean_stress;      /* (sigma_max + sigma_min) / 2 */
  double max_stress;       /* sigma_max */
  double parameter;        /* the damage parameter's value */
  double cycles;           /* cycles to failure; +inf when no damage */
  double damage;           /* count / cycles */
} hys_damage;

/* Cycles to failure of a loop with these amplitudes under `parameter` (an
 * enum hys_parameter), solved to a relative 1e-10; +inf when the parameter
 * gives no damage. Refuses invalid constants (HYS_E_MATERIAL). */
HYS_API int hys_cycles_to_failure(const hys_material* material, int parameter,
                                  double strain_amplitude, double max_stress, double mean_stress,
                                  double* cycles);

/* Amplitudes, parameter, cycles to failure and damage of one counted cycle
 * (Palmgren-Miner: the damage is the loop's count over its cycles). */
HYS_API int hys_assess_loop(const hys_material* material, int parameter, const hys_loop* loop,
                            hys_damage* out);

#ifdef __cplusplus
}
#endif

#endif /* HYSTERESIS_HYSTERESIS_H */
