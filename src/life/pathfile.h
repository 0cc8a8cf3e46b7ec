// A stress-strain path written in the layout of "output.txt": one record per
// entry, strain and stress in two 15-character fields, read as a stream.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace Life {

// Receives each record's strain and stress, in file order.
using PathTake = void (*)(double strain, double stress, void* context);

// Converts one 15-character field: a blank, then a number as the program
// writes it ("   4.000000    ", "  1.2345678E-03", " NaN", " -Infinity"),
// blanks around it. False for anything else.
bool ParsePathField(std::string_view field, double& value);

// Reads the file at `path` and hands every record to `take`. Records are 30
// characters ended by CR LF or LF; the last may lack its line end. Returns
// the number of records, or -1 with `error` set to a one-line reason naming
// the file and the record (counted from 1): a file that cannot be read, a
// record of another shape, or a file without records.
int64_t ReadPathFile(const std::string& path, PathTake take, void* context, std::string& error);

}  // namespace Life
