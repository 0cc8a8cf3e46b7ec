// Placeholder: replaced by the list-directed reader.
#include "textin/listreader.h"
namespace ListReader {
int read(int, unsigned, const InItem*) { return 24; }
}
