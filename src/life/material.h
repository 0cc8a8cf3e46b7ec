// The material constants of the strain-life curve: the parameter group LIFE
// of the input file, read with the run-time's group reader.
#pragma once
#include <string>

#include "fatigue/strainlife.h"

namespace Life {

// Reads the group LIFE (the scalars E, SF, B, EF, C) from the connected unit
// `unit`, from where the unit stands (`where` says so in the reason for a
// missing group, e.g. " after &PARAMETRE"). Returns "" or a one-line reason:
// no such group, a constant the group does not give, or one that no curve has.
// Errors inside the group (syntax, unknown names, too many values) end the
// run with the run-time's diagnostic, as in the group PARAMETRE.
std::string ReadLifeGroup(int unit, const char* where, LifeMaterial& m);

}  // namespace Life
