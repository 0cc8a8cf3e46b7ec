// Placeholder driver.
#include "compute/driver.h"
void RunProgram() {}
