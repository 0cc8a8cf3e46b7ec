// Placeholder: replaced by the parameter-group reader.
#include "textin/groupreader.h"
namespace GroupReader {
int read(int, unsigned, const GroupDescriptor&) { return 24; }
}
