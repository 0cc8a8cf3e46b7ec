// Assigns the current value of a list-directed statement to one element by
// its type, by the conversion that the number scanner's verdict selects.
#pragma once

#include "textin/listvalues.h"

namespace ListAssign {

// Assigns the current value to the element at `elem` of type `type`; an
// element without storage (null `elem`) takes a number unconverted.
// Returns 0 or 64.
int Assign(const ListScanState& st, int type, void* elem);

}  // namespace ListAssign
