// Links a program against the core alone: it must need nothing but the standard library.
#include "common/conversions.h"
#include "app/main_window.h"
#include "settings/ini.h"

int main() {
  return conv::toInt16("3.5") == 4 && conv::hex32(-16) == "FFFFFFF0" ? 0 : 1;
}
