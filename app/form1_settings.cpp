// Import and export of settings files.

#include "form1.h"

void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
