// The conversion table of the item type codes.
#include "runtime/items.h"

const ItemConversion& ItemConversionCode(int type) {
  static const ItemConversion kNone{0, 0, 0, kConvNone};
  static const ItemConversion kInteger{12, 0, 0, kConvInteger};
  static const ItemConversion kReal{15, 7, 2, kConvReal};
  static const ItemConversion kCharacter{255, 0, 0, kConvCharacter};
  switch (type) {
    case kTypeInt32: return kInteger;
    case kTypeReal4: return kReal;
    case kTypeChar: return kCharacter;
    default: return kNone;
  }
}
