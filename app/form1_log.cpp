// Flight log view and export.

#include "form1.h"

void TForm1::Button6Click() {}
void TForm1::Button10Click() {}
void TForm1::LogsView() {}
