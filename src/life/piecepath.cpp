// The job's path stepped piece by piece with StepPiece, which carries the
// stepping from one piece to the next: the same set-up and the same calls as
// StepHistory, which steps the whole history as one piece.
#include "life/piecepath.h"

#include <cstddef>

#include "runtime/platform/memory.h"

namespace Life {

void StartPiecePath(PiecePath& p, Tables& t, float* def, float* sig, int64_t m) {
  p.tables = &t;
  p.def = def;
  p.sig = sig;
  p.entries = m + 1;
  p.stepped = m >= 0 ? 1 : 0;
  if (m >= 0) {
    def[0] = 0.0f;
    sig[0] = 0.0f;
  }
  t.K = 0;
  InitBranches(t);
  ComputeSlopes(t);
  if (m < 1) return;
  const size_t pairs = static_cast<size_t>(PendingCapacity(t.N));
  p.storage = Sys::Allocate(2 * pairs * 2 * sizeof(int32_t));
  if (p.storage != nullptr) {
    p.pending.up.below = static_cast<int32_t*>(p.storage);
    p.pending.down.below = p.pending.up.below + 2 * pairs;
    StartLazy(t, p.pending);
  }
  p.lazy = p.storage != nullptr;
  p.before = def[0];
  p.sig_before = sig[0];
}

void StepPathTo(PiecePath& p, int64_t end) {
  if (end > p.entries) end = p.entries;
  if (end <= p.stepped) return;
  StepPiece(*p.tables, p.state, p.pending, p.lazy, p.before, p.sig_before, p.def + p.stepped,
            p.sig + p.stepped, end - p.stepped);
  p.stepped = end;
}

void EndPiecePath(PiecePath& p) {
  if (!p.lazy) return;
  CompleteBranches(*p.tables, p.pending);
  Sys::Release(p.storage);
  p.storage = nullptr;
  p.lazy = false;
}

}  // namespace Life
