// Starts the run-time before main: included by the main file of each program
// (never by a library, so tests and fuzz targets start it when they choose).
#pragma once
#include "runtime/startup.h"

namespace {

// Runs from the C runtime's initialiser table before main, which passes the
// argument vector to its entries.
void StartBeforeMain(int argc, char** argv, char**) {
  SetCommandLineWords(argc, argv);
  StartRuntime();
}

__attribute__((section(".init_array"),
               used)) void (*const kStartBeforeMain)(int, char**, char**) = StartBeforeMain;

}  // namespace
