// Sequential text records: fetching the next record of a unit into its
// record buffer, with read-ahead and a buffer that grows without limit.
#pragma once

struct UnitBlock;

// Fetches the next record of `unit`: sets record_start, pos and record_end
// and adds one to the record counter. `list_directed` drops every carriage
// return at the record end (otherwise only one before the terminator).
// Returns 0, 24 (end of file), 39 (read failed) or 98 (buffer cannot grow).
int FetchRecord(UnitBlock* unit, bool list_directed);
