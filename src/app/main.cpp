// The process entry of hysteresis.
#include "app/process.h"

int main() { return ProcessMain(); }
