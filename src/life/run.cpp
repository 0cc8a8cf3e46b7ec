// The body of hysteresis-life: reads the job with the driver's own steps (or
// a path file), feeds the path to the loop count and reports every cycle.
#include "life/run.h"

#include <algorithm>
#include <string>

#include "compute/driver.h"
#include "fatigue/loops.h"
#include "fatigue/strainlife.h"
#include "life/material.h"
#include "life/pathfile.h"
#include "compute/readstepper.h"
#include "compute/stepping.h"
#include "compute/twothreads.h"
#include "life/report.h"
#include "life/rowwriter.h"
#include "runtime/floatctl.h"
#include "runtime/platform/file.h"
#include "runtime/platform/process.h"
#include "runtime/startup.h"

namespace Life {

namespace {

constexpr char kProgram[] = "hysteresis-life: ";
// Paths at least this long show their progress on a terminal.
constexpr int64_t kProgressStep = int64_t{1} << 20;
// Entries stepped before their loops are counted: small enough that the
// rows of the first piece soon reach the worker.
constexpr int64_t kStepPiece = int64_t{1} << 16;

// What the cycle sink needs, and what the run leaves for the exit.
struct Run {
  const Options* options = nullptr;
  LifeMaterial material;
  LifeCurve curve;
  CsvFile csv;
  RowWriter rows;
  Tally tally;
  LoopCounter counter;
  int64_t entries = 0;
  int64_t total = 0;           // entries expected, 0 when unknown
  int64_t last = -1;           // M, the last entry of the job's path
  Progress read;               // entries of the job's history read so far
  ReadStepper stepper;         // steps the job's history while it is read
  bool stepped_ahead = false;  // the stepper runs
  bool threads = false;        // a second thread may run (asked once)
  bool progress = false;
  int status = kExitOk;
};
Run g_run;

void Fail(const std::string& reason) {
  const std::string line = kProgram + reason + "\n";
  Sys::WriteStderr(line.data(), line.size());
  g_run.status = kExitBadInput;
}

void TakeCycle(const Loop& loop, void* context) { AddRow(static_cast<Run*>(context)->rows, loop); }

void ShowProgress(const Run& r) {
  std::string line = "\r" + std::string(kProgram) + "counting loops: " + std::to_string(r.entries);
  if (r.total > 0) line += " of " + std::to_string(r.total);
  line += " entries";
  Sys::WriteStderr(line.data(), line.size());
}

void ClearProgress() {
  const std::string blank = "\r" + std::string(79, ' ') + "\r";
  Sys::WriteStderr(blank.data(), blank.size());
}

// Feeds one entry; on a terminal, every 2^20 entries update the progress line.
inline void TakeEntry(Run& r, double strain, double stress) {
  FeedPath(r.counter, strain, stress, TakeCycle, &r);
  if ((++r.entries & (kProgressStep - 1)) == 0 && r.progress) ShowProgress(r);
}

void TakeRecord(double strain, double stress, void* context) {
  TakeEntry(*static_cast<Run*>(context), strain, stress);
}

// True when `a` and `b` name the same existing file.
bool SameFile(const std::string& a, const std::string& b) {
  uint64_t da = 0, ia = 0, db = 0, ib = 0;
  return Sys::Identity(a.c_str(), &da, &ia) == 0 && Sys::Identity(b.c_str(), &db, &ib) == 0 &&
         da == db && ia == ib;
}

// Refuses a CSV name that would replace one of the inputs.
bool CsvReplacesInput(const Options& o) {
  const std::string inputs[] = {o.path.empty() ? "input.txt" : o.input,
                                o.path.empty() ? "deformacia.txt" : o.path};
  for (const std::string& in : inputs) {
    if (SameFile(o.csv, in) || SameFile(o.csv + ".tmp", in)) {
      Fail("the table " + o.csv + " would replace the input " + in);
      return true;
    }
  }
  return false;
}

// The job of hysteresis without "output.txt": the same files and readers,
// so the same diagnostics; StepJob steps it as hysteresis does.
bool ReadJob(Run& r, ProgramState& job) {
  PrepareRun();
  ConnectJobFile(kUnitBackbone, "input.txt");
  ConnectJobFile(kUnitHistory, "deformacia.txt");
  ReadBackboneInput(job.tables);
  if (std::string why = ReadLifeGroup(kUnitBackbone, " after &PARAMETRE", r.material);
      !why.empty()) {
    Fail("input.txt: " + why);
    return false;
  }
  if (CsvReplacesInput(*r.options)) return false;
  r.last = PrepareStrainHistory(job);
  r.total = r.last + 1;
  // A long history is stepped on a thread of its own while it is read.
  r.stepped_ahead = r.total >= kTwoThreadLeastEntries && r.threads &&
                    r.stepper.Start(job.tables, job.DEF, job.SIG, r.total, &r.read);
  ReadStrainValues(job, r.last, r.stepped_ahead ? &r.read : nullptr);
  return true;
}

// Counts the loops of the stepped entries j..j+n-1, with the progress line
// every 2^20 entries.
void CountPiece(Run& r, const ProgramState& job, int64_t j, int64_t n) {
  FeedPathRun(r.counter, job.DEF + j, job.SIG + j, n, TakeCycle, &r);
  r.entries += n;
  if (r.progress && (r.entries & (kProgressStep - 1)) == 0) ShowProgress(r);
}

// Steps the job's path in pieces (or waits for the stepper's) and counts
// the loops of each piece as soon as it is stepped.
void StepJob(Run& r, ProgramState& job) {
  if (r.stepped_ahead) {
    for (int64_t j = 0; j < r.total; j += kStepPiece) {
      const int64_t n = std::min(kStepPiece, r.total - j);
      r.stepper.WaitFor(j + n);
      CountPiece(r, job, j, n);
    }
    r.stepper.Join();
    return;
  }
  StartPath(job.tables, job.DEF, job.SIG, r.last);
  StepState state;
  HistoryStepper stepper(job.tables, state, job.DEF[0], job.SIG[0]);
  for (int64_t j = 0; j < r.total; j += kStepPiece) {
    const int64_t n = std::min(kStepPiece, r.total - j);
    const int64_t from = std::max<int64_t>(j, 1);  // entry 0 is the starting point
    if (j + n > from) stepper.Step(job.DEF + from, job.SIG + from, j + n - from);
    CountPiece(r, job, j, n);
  }
}

// With --path: the material from the --input file, read from its start (the
// group reader passes over N and the group PARAMETRE).
bool ReadMaterialOnly(Run& r) {
  const Options& o = *r.options;
  uint64_t device = 0, inode = 0;
  if (const int e = Sys::Identity(o.input.c_str(), &device, &inode)) {
    char text[256];
    Sys::ErrorText(e, text, sizeof text);
    Fail(o.input + ": cannot be opened (" + text + ")");
    return false;
  }
  ConnectJobFile(kUnitBackbone, o.input.c_str());
  if (std::string why = ReadLifeGroup(kUnitBackbone, "", r.material); !why.empty()) {
    Fail(o.input + ": " + why);
    return false;
  }
  return !CsvReplacesInput(o);
}

void Body() {
  Run& r = g_run;
  const Options& o = *r.options;
  ProgramState& job = g_program;
  r.threads = RowsMayUseWorker();
  if (!(o.path.empty() ? ReadJob(r, job) : ReadMaterialOnly(r))) return;
  if (std::string why = OpenCsv(r.csv, o.csv); !why.empty()) {
    Fail(why);
    return;
  }
  r.curve = PrepareLifeCurve(r.material, o.parameter);
  r.tally.top_max = static_cast<size_t>(o.top);
  r.progress = Sys::IsTerminal(2);
  r.progress = r.progress && (o.path.empty() ? r.total >= kProgressStep : true);
  StartRows(r.rows, r.csv, r.curve, r.tally, r.threads);
  if (o.path.empty()) {
    StepJob(r, job);
  } else {
    std::string why;
    if (ReadPathFile(o.path, TakeRecord, &r, why) < 0) {
      FinishRows(r.rows);
      if (r.progress && r.entries >= kProgressStep) ClearProgress();
      AbandonCsv(r.csv);
      Fail(why);
      return;
    }
  }
  if (r.progress && r.entries >= kProgressStep) ClearProgress();
  FinishPath(r.counter, o.residue, TakeCycle, &r);
  FinishRows(r.rows);
  if (std::string why = CommitCsv(r.csv); !why.empty()) {
    Fail(why);
    return;
  }
  const std::string setting = std::string("parameter ") + ParameterName(o.parameter) +
                              ", residue " + ResidueName(o.residue);
  const std::string summary = SummaryText(r.tally, r.entries, setting);
  size_t written = 0;
  Sys::WriteAll(1, summary.data(), summary.size(), 0, &written);
}

}  // namespace

int RunLifeProcess(const Options& o) {
  g_run.options = &o;
  SetFloatControl(0);
  StartRuntime();
  RunGuardedBody(Body);
  const int status = FinishRuntime();
  return status != 0 ? status : g_run.status;
}

}  // namespace Life
