// Placeholder: replaced by the number conversions.
#include "textin/number.h"
int TextToInteger(const char*, int64_t, unsigned, int32_t* dest) { *dest = 0; return 3; }
int DigitsToUnsigned64(const char*, int64_t, int, unsigned, uint64_t* dest) { *dest = 0; return 3; }
int TextToSingle(const char*, int64_t, int, int, unsigned, float* dest) { *dest = 0; return 1; }
int TextToDouble(const char*, int64_t, int, int, unsigned, double* dest) { *dest = 0; return 1; }
