// The statement's hold on its unit and its one failure path: the file text
// of the report, the status the statement takes instead of a report, and
// what happens to the unit before the report.
#include "runtime/statement.h"

#include <cstddef>

#include "runtime/catalogue.h"
#include "runtime/diagnostics.h"
#include "runtime/msgformat.h"
#include "runtime/unitenv.h"

namespace {

// Room for a file text: the name, the line and the position.
constexpr size_t kFileTextSize = kMaxFileName + 96;
// Room for the text put into a statement's status-message variable.
constexpr size_t kTargetTextSize = 1024;

// The file text of a failing statement: the unit's file name, with line and
// position when `where` is given, or "Unknown" in quotes.
size_t FileText(const UnitBlock* unit, const FailPosition* where, char* out, size_t capacity) {
  if (!unit || unit->name_len == 0) {
    const MsgArg arg[] = {MsgArg(MessageCatalogue::Find(Msg::kUnknownName)->text)};
    return FormatText(out, capacity, "\"%s\"", arg, 1);
  }
  size_t n = unit->name_len;
  if (n > kMaxFileName) n = kMaxFileName;
  if (n > capacity) n = capacity;
  for (size_t i = 0; i < n; ++i) out[i] = unit->name[i];
  if (where) {
    char line[24];
    const MsgArg line_arg[] = {MsgArg(static_cast<long long>(where->line))};
    size_t line_len = FormatText(line, sizeof line, "%lld", line_arg, 1);
    const MsgArg args[] = {MsgArg(line, static_cast<int64_t>(line_len)),
                           MsgArg(static_cast<long long>(where->column))};
    n += FormatText(out + n, capacity - n, MessageCatalogue::Find(Msg::kLinePosition)->text, args,
                    2);
  }
  return n;
}

// The status a statement takes instead of a report, if its flags ask for it.
bool StatusInstead(int error, unsigned flags, int* status) {
  const bool end_of_file = error == Code(Msg::kEndOfFile) || error == Code(Msg::kEndOfFileAlso);
  const bool end_of_record =
      error == Code(Msg::kEndOfRecord) || error == Code(Msg::kEndOfRecordAlso);
  if ((flags & kErrStatusWanted) && !end_of_file && !end_of_record) {
    *status = error;
    return true;
  }
  if ((flags & kEndStatusWanted) && (end_of_file || error == Code(Msg::kTooManyRecords))) {
    *status = kStatusEndOfFile;
    return true;
  }
  if ((flags & kEorStatusWanted) && end_of_record) {
    *status = kStatusEndOfRecord;
    return true;
  }
  return false;
}

// Copies the message text into the statement's status-message variable,
// blank-padded or cut to its length.
void FillMessageTarget(UnitBlock* unit, unsigned number, const MsgArg* args, size_t count) {
  if (!unit || !unit->message_target || unit->message_target_len <= 0) return;
  char text[kTargetTextSize];
  size_t n = FormatMessage(number, args, count, text, sizeof text);
  size_t len = static_cast<size_t>(unit->message_target_len);
  for (size_t i = 0; i < len; ++i) unit->message_target[i] = i < n ? text[i] : ' ';
}

// Finishes the unit of a failed statement as `disposal` says.
void FinishUnit(Disposal disposal, UnitBlock* unit) {
  if (!unit) return;
  switch (disposal) {
    case Disposal::kRelease: ReleaseUnit(unit); break;
    case Disposal::kDiscard:
      DiscardConnection(unit);
      ReleaseUnit(unit);
      break;
    case Disposal::kClose:
      CloseUnit(unit);
      ReleaseUnit(unit);
      break;
    case Disposal::kKeep: break;
  }
}

void ReportCloseFailure(UnitBlock* unit, int error) {
  FailUnitStatement(unit, error, 0, Disposal::kKeep);
}

void CloseUnitsAtExit() {
  if (ClearUnitsConnected()) CloseAllUnits();
}

void WarnOfVariable(const char* variable) { ReportMessage(Msg::kBadEnvSyntax, {MsgArg(variable)}); }

}  // namespace

StatementUnit::StatementUnit(int number, unsigned flags) : flags_(flags) {
  UnitBlock* unit = nullptr;
  const int error = AcquireUnit(number, &unit);
  if (error == 0) {
    unit_ = unit;
    return;
  }
  // A unit held by an earlier statement of this thread (40) stays with it.
  status_ = unit ? FailUnitStatement(unit, error, flags, Disposal::kKeep)
                 : FailUnitNumber(error, number, flags);
}

StatementUnit& StatementUnit::operator=(StatementUnit&& other) noexcept {
  if (this != &other) {
    Release();
    unit_ = other.unit_;
    flags_ = other.flags_;
    status_ = other.status_;
    other.unit_ = nullptr;
  }
  return *this;
}

int StatementUnit::Fail(int error, Disposal disposal, const FailPosition* where) {
  UnitBlock* unit = unit_;
  unit_ = nullptr;
  status_ = FailUnitStatement(unit, error, flags_, disposal, where);
  return status_;
}

void StatementUnit::Release() {
  if (unit_ == nullptr) return;
  UnitBlock* unit = unit_;
  unit_ = nullptr;
  ReleaseUnit(unit);
}

int FailUnitStatement(UnitBlock* unit, int error, unsigned flags, Disposal disposal,
                      const FailPosition* where) {
  char file_text[kFileTextSize];
  const size_t file_len = FileText(unit, where, file_text, sizeof file_text);
  const int unit_number = unit ? unit->number : 0;
  const int system_error = unit ? unit->last_error : 0;
  const MsgArg args[] = {MsgArg(unit_number), MsgArg(file_text, static_cast<int64_t>(file_len))};
  const unsigned number = static_cast<unsigned>(error);
  FillMessageTarget(unit, number, args, 2);
  int status = 0;
  if (StatusInstead(error, flags, &status)) {
    FinishUnit(disposal, unit);
    return status;
  }
  if (system_error != 0) WriteSystemErrorLine(system_error);
  FinishUnit(disposal, unit);
  ReportMessage(number, args, 2);
  return error;
}

int FailUnitNumber(int error, int number, unsigned flags) {
  UnitBlock placeholder;  // no name: the file text reads "Unknown"
  placeholder.number = number;
  return FailUnitStatement(&placeholder, error, flags, Disposal::kKeep);
}

int ConnectUnit(int number, unsigned flags, const OpenAttr* attrs) {
  StatementUnit statement(number, flags);
  if (!statement.held()) return statement.status();
  const int error = ConnectAcquired(statement.unit(), attrs);
  if (error == Code(Msg::kBadKeyword) || error == Code(Msg::kBadAttrCode))
    return statement.Fail(error);
  if (error != 0) return statement.Fail(error, Disposal::kDiscard);
  return statement.Done();
}

int ConnectNamedFile(int number, unsigned flags, const char* name, int32_t length) {
  const OpenAttr attrs[] = {
      {kTypeChar, kFormText, kAttrFile, 0, name, length},
      {kTypeInt32, kFormValue, kAttrStatus, kStatusUnknown, nullptr, 0},
      {kTypeEnd, 0, 0, 0, nullptr, 0},
  };
  return ConnectUnit(number, flags, attrs);
}

int RewindUnit(int number, unsigned flags) {
  StatementUnit statement(number, flags);
  if (!statement.held()) return statement.status();
  if (const int error = RewindAcquired(statement.unit())) return statement.Fail(error);
  return statement.Done();
}

void CloseAllUnits() { CloseEveryUnit(ReportCloseFailure); }

void InstallStatementHooks() {
  SetUnitsClosingHook(CloseUnitsAtExit);
  UnitEnv::SetWarningHook(WarnOfVariable);
}
