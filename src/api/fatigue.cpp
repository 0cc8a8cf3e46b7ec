// Closed loops and fatigue life through the library: the loop count of a
// path fed in pieces, cycles to failure and the damage of a loop. These
// calls compute in the IEEE default mode, subnormals kept.
#include "api/fatigue.h"

#include <new>

#include "api/fpmode.h"
#include "fatigue/strainlife.h"

namespace {

hys_point ToApi(const PathPoint& p) { return hys_point{p.entry, p.strain, p.stress}; }

// Hands a counted cycle to the counter's callback.
void ToCallback(const Loop& loop, void* context) {
  const hys_counter* c = static_cast<const hys_counter*>(context);
  if (c->callback == nullptr) return;
  const hys_loop out{ToApi(loop.b), ToApi(loop.c), loop.closing_entry, loop.count};
  c->callback(&out, c->context);
}

// The material and parameter of a call, or the status that refuses them.
int ReadMaterial(const hys_material* in, int parameter, LifeMaterial* m,
                 DamageParameterKind* kind) {
  if (in == nullptr) return HYS_E_NULL;
  *m = LifeMaterial{in->E, in->SF, in->B, in->EF, in->C};
  if (LifeMaterialFault(*m) != nullptr) return HYS_E_MATERIAL;
  switch (parameter) {
    case HYS_PARAMETER_SWT: *kind = DamageParameterKind::kSwt; return HYS_OK;
    case HYS_PARAMETER_MORROW: *kind = DamageParameterKind::kMorrow; return HYS_OK;
    case HYS_PARAMETER_STRAIN: *kind = DamageParameterKind::kStrain; return HYS_OK;
    default: return HYS_E_ARGUMENT;
  }
}

}  // namespace

int hys_counter_create(hys_loop_callback callback, void* context, hys_counter** out) {
  if (out == nullptr) return HYS_E_NULL;
  hys_counter* c = new (std::nothrow) hys_counter;
  if (c == nullptr) return HYS_E_MEMORY;
  c->callback = callback;
  c->context = context;
  *out = c;
  return HYS_OK;
}

int hys_counter_feed(hys_counter* c, const float* strain, const float* stress, size_t count) {
  if (c == nullptr || (count != 0 && (strain == nullptr || stress == nullptr))) return HYS_E_NULL;
  FloatModeScope mode(kIeeeModeWord);
  try {
    for (size_t i = 0; i < count; ++i) FeedPath(c->count, strain[i], stress[i], ToCallback, c);
  } catch (const std::bad_alloc&) {
    return HYS_E_MEMORY;
  }
  return HYS_OK;
}

int hys_counter_finish(hys_counter* c, int residue) {
  if (c == nullptr) return HYS_E_NULL;
  ResidueMode mode;
  switch (residue) {
    case HYS_RESIDUE_HALF_CYCLES: mode = ResidueMode::kHalfCycles; break;
    case HYS_RESIDUE_REPEAT: mode = ResidueMode::kRepeat; break;
    case HYS_RESIDUE_NONE: mode = ResidueMode::kNone; break;
    default: return HYS_E_ARGUMENT;
  }
  FloatModeScope ieee(kIeeeModeWord);
  try {
    FinishPath(c->count, mode, ToCallback, c);
  } catch (const std::bad_alloc&) {
    return HYS_E_MEMORY;
  }
  return HYS_OK;
}

void hys_counter_free(hys_counter* c) { delete c; }

int hys_cycles_to_failure(const hys_material* material, int parameter, double strain_amplitude,
                          double max_stress, double mean_stress, double* cycles) {
  LifeMaterial m;
  DamageParameterKind kind;
  const int status = ReadMaterial(material, parameter, &m, &kind);
  if (status != HYS_OK) return status;
  if (cycles == nullptr) return HYS_E_NULL;
  FloatModeScope mode(kIeeeModeWord);
  *cycles = CyclesToFailure(m, kind, strain_amplitude, max_stress, mean_stress);
  return HYS_OK;
}

int hys_assess_loop(const hys_material* material, int parameter, const hys_loop* loop,
                    hys_damage* out) {
  LifeMaterial m;
  DamageParameterKind kind;
  const int status = ReadMaterial(material, parameter, &m, &kind);
  if (status != HYS_OK) return status;
  if (loop == nullptr || out == nullptr) return HYS_E_NULL;
  const Loop in{{loop->b.entry, loop->b.strain, loop->b.stress},
                {loop->c.entry, loop->c.strain, loop->c.stress},
                loop->closing_entry,
                loop->count};
  FloatModeScope mode(kIeeeModeWord);
  const LoopDamage d = AssessLoop(m, kind, in);
  *out = hys_damage{d.strain_amplitude, d.stress_amplitude, d.mean_stress, d.max_stress,
                    d.parameter,        d.cycles,           d.damage};
  return HYS_OK;
}
