// Firmware update through the boot loader.

#include "form1.h"

void TForm1::Button11Click() {}
