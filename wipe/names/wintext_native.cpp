// The upper-casing seam of builds without Windows: the portable table.
#include "wipe/names/wintext.h"

void upcaseUnits(std::u16string& text) {
  for (char16_t& c : text) c = tableUpcaseUnit(c);
}
