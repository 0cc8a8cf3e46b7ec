// The one way a statement holds its unit and fails: StatementUnit acquires
// the unit (or reports why it cannot), hands it back on every path, and
// owns the failure path of the statement, with the statements that are
// whole in the run-time (connection, rewinding) and the closing at the end.
#pragma once
#include <cstdint>

#include "runtime/items.h"
#include "runtime/msg.h"
#include "runtime/units.h"

// Where in its record a failure lies, shown in the report as ", line L,
// position P" after the file name.
struct FailPosition {
  int64_t line;
  int64_t column;
};

// Holds a unit for the length of a statement. Acquired in the constructor:
// when the unit cannot be had the failure is reported at once (or kept as
// the statement's status when `flags` asks for it) and held() is false.
// Whatever has not been handed back is released by the destructor.
class StatementUnit {
 public:
  StatementUnit() = default;
  StatementUnit(int number, unsigned flags);
  ~StatementUnit() { Release(); }
  StatementUnit(StatementUnit&& other) noexcept { *this = static_cast<StatementUnit&&>(other); }
  StatementUnit& operator=(StatementUnit&& other) noexcept;
  StatementUnit(const StatementUnit&) = delete;
  StatementUnit& operator=(const StatementUnit&) = delete;

  bool held() const { return unit_ != nullptr; }
  UnitBlock* unit() const { return unit_; }
  unsigned flags() const { return flags_; }
  void set_flags(unsigned flags) { flags_ = flags; }
  // The status of the statement after a failure (0 before any).
  int status() const { return status_; }

  // The failure path: the unit is finished as `disposal` says (and no longer
  // held), then `error` is reported, or returned as the statement's status
  // when the flags take it. `where` adds line and position to the report.
  // Returns the status; a severe report does not return.
  int Fail(int error, const FailPosition* where = nullptr) {
    return Fail(error, Disposal::kRelease, where);
  }
  int Fail(int error, Disposal disposal, const FailPosition* where = nullptr);

  // Ends the statement: the unit is handed back. Returns 0.
  int Done() {
    Release();
    return 0;
  }

  // Hands the unit back, if held.
  void Release();

 private:
  UnitBlock* unit_ = nullptr;
  unsigned flags_ = 0;
  int status_ = 0;
};

// The failure path for a unit that no StatementUnit holds (a unit closed at
// the end of the run, or a unit held by an earlier statement): as
// StatementUnit::Fail with `disposal`.
int FailUnitStatement(UnitBlock* unit, int error, unsigned flags, Disposal disposal,
                      const FailPosition* where = nullptr);

// The failure of a statement whose unit number was refused (32, or 41 when
// no entry could be made): the report shows `number` and the file
// "Unknown". Returns as StatementUnit::Fail.
int FailUnitNumber(int error, int number, unsigned flags);

// Explicit connection of `number` from the attribute list. Returns 0, or the
// error number when `flags` has kErrStatusWanted; otherwise a failure is
// reported and the run ends.
int ConnectUnit(int number, unsigned flags, const OpenAttr* attrs);

// Connects `number` to the file `name` (`length` bytes) with status UNKNOWN and
// every other attribute at its default, as the program connects its files.
// Returns as ConnectUnit.
int ConnectNamedFile(int number, unsigned flags, const char* name, int32_t length);

// Rewinds `number`. Returns as ConnectUnit.
int RewindUnit(int number, unsigned flags);

// Closes every connected unit (program end); a failure to close is error 28
// (38 for held output), reported as severe.
void CloseAllUnits();

// Start-up: registers the closing of the units with the exit processing and
// the warning of a malformed unit variable.
void InstallStatementHooks();
