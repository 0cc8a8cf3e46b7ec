// The program body: connect the three files, read N, the backbone group and
// the strain history, step the history and write strain and stress.
#include "compute/driver.h"

#include <cstring>

#include "compute/arrays.h"
#include "compute/stepping.h"
#include "compute/tables.h"
#include "compute/twothreads.h"
#include "runtime/diagnostics.h"
#include "runtime/floatctl.h"
#include "runtime/items.h"
#include "runtime/msg.h"
#include "runtime/proctime.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/groupreader.h"
#include "textin/listreader.h"
#include "textout/listwriter.h"

// The tables and histories are program-wide: created once, kept to the end
// of the process (external linkage, so that they stay reachable).
ProgramState g_program;

namespace {

constexpr int kUnitInput = kUnitBackbone;
constexpr int kUnitOutput = kUnitResults;
constexpr int kUnitConsole = -1;

// Reads N from the first record of unit 1 that holds a value. A negative N
// cannot describe a backbone and is refused as a conversion error.
int32_t ReadCount() {
  int32_t n = 0;
  const InItem items[] = {{kTypeInt32, 0, &n, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  ListReader::read(kUnitInput, 0, items);
  if (n < 0) {
    StatementUnit statement(kUnitInput, 0);
    if (statement.held()) statement.Fail(Code(Msg::kConversion));
    ReportMessage(Msg::kConversion);
  }
  return n;
}

// Creates the seven tables of the backbone for N.
void CreateTables(Tables& t) {
  const int64_t points = static_cast<int64_t>(t.N) + 2;
  t.SY = CreateRealArray(points);
  t.EY = CreateRealArray(points);
  t.ET = CreateRealArray(points - 1);
  t.SYP = CreateRealArray(points);
  t.SYN = CreateRealArray(points);
  t.EYP = CreateRealArray(points);
  t.EYN = CreateRealArray(points);
}

// Reads the group PARAMETRE with the arrays EY and SY, indices 0..N+1.
void ReadBackbone(Tables& t) {
  const GroupObject objects[] = {RealArrayObject("EY", t.EY, 0, t.N + 1),
                                 RealArrayObject("SY", t.SY, 0, t.N + 1)};
  const GroupDescriptor group{"PARAMETRE", 9, objects, 2};
  GroupReader::read(kUnitInput, 0, group);
}

// Counts the records of unit 2 that hold anything but blanks: M + 1. The
// value is discarded and a value that fails counts like any other, so the
// item has no storage and the reader skips the conversion. A failed read
// ends the run with its diagnostic: counted, it would come back at every
// later statement, or leave M one too large.
int64_t CountHistory() {
  const InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  return ListReader::count_reads(kUnitHistory, kErrStatusWanted | kEndStatusWanted, items) - 1;
}

// One statement per entry j: strain DEF(j), then stress SIG(j).
void WriteResults(const float* def, const float* sig, int64_t m) {
  if (m >= 0) ListWriter::write_real_pairs(kUnitOutput, 0, def, sig, m + 1);
}

void WriteTime(float seconds) {
  static const char kLabel[] = "Cas programu:";
  static const char kUnit[] = "sekund";
  const OutItem label{kTypeChar, kLabel, static_cast<int32_t>(sizeof kLabel - 1)};
  const OutItem time{kTypeReal4, &seconds, 4};
  const OutItem unit{kTypeChar, kUnit, static_cast<int32_t>(sizeof kUnit - 1)};
  ListWriter::begin(kUnitConsole, 0, &label, true);
  ListWriter::put(time, true);
  ListWriter::put(unit, false);
}

}  // namespace

void PrepareRun() {
  EnterComputationMode();
  SetLockingMode(2);
}

void ConnectJobFile(int unit, const char* name) {
  ConnectNamedFile(unit, 0, name, static_cast<int32_t>(std::strlen(name)));
}

void ReadBackboneInput(Tables& t) {
  t.N = ReadCount();
  CreateTables(t);
  ReadBackbone(t);
}

int64_t PrepareStrainHistory(ProgramState& state) {
  const int64_t m = CountHistory();
  state.DEF = CreateRealArray(m + 1);
  state.SIG = CreateRealArray(m + 1);
  RewindUnit(kUnitHistory, 0);
  return m;
}

void ReadStrainValues(ProgramState& state, int64_t m, Progress* progress) {
  const ArrayDim dim{1, m + 1 > 0 ? m + 1 : 0, static_cast<int64_t>(sizeof(float))};
  const InItem items[] = {{kTypeReal4, 1, state.DEF, &dim}, {kTypeEnd, 0, nullptr, nullptr}};
  ListReader::read(kUnitHistory, 0, items, progress);
  if (progress != nullptr) progress->Publish(m + 1);  // also those a slash left as they were
}

int64_t ReadStrainHistory(ProgramState& state) {
  const int64_t m = PrepareStrainHistory(state);
  ReadStrainValues(state, m, nullptr);
  return m;
}

void ComputePath(Tables& t, float* def, float* sig, int64_t m) {
  StepState s;
  StartPath(t, def, sig, m);
  StepHistory(t, s, def, sig, m);
}

void RunProgram() {
  PrepareRun();
  ConnectJobFile(kUnitInput, "input.txt");
  ConnectJobFile(kUnitHistory, "deformacia.txt");
  ConnectJobFile(kUnitOutput, "output.txt");

  Tables& t = g_program.tables;
  ReadBackboneInput(t);
  const int64_t m = PrepareStrainHistory(g_program);
  // A second thread steps the history while it is read; nothing is written
  // before the read has ended, so a read that fails leaves no record.
  static Progress progress;
  const bool two = StartTwoThreads(t, g_program.DEF, g_program.SIG, m, kUnitOutput, &progress);
  ReadStrainValues(g_program, m, two ? &progress : nullptr);

  float t1 = 0.0f;
  ProcessorTime(&t1);
  if (two) {
    FinishOnTwoThreads(kUnitOutput);
  } else {
    ComputePath(t, g_program.DEF, g_program.SIG, m);
    WriteResults(g_program.DEF, g_program.SIG, m);
  }
  float t2 = 0.0f;
  ProcessorTime(&t2);
  WriteTime(t2 - t1);
}
