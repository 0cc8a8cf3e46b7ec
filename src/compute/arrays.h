// Creation of the program's single-precision tables and histories.
#pragma once
#include <cstdint>

// A zero-filled array of `count` floats (count <= 0 gives an empty array).
// A byte size beyond 32 bits ends the run with message 179, memory that
// cannot be had with message 41.
float* CreateRealArray(int64_t count);
