// Line protocol, connection, status poll and device commands.

#include "form1.h"

bool TForm1::portIsOpen() const { return false; }
void TForm1::ShowLayoutOnDisplay() {}
void TForm1::Button3Click() {}
void TForm1::Button4Click() {}
void TForm1::Button5Click() {}
void TForm1::Button7Click() {}
void TForm1::Button8Click() {}
void TForm1::Button9Click() {}
void TForm1::ComboBox2Change() {}
void TForm1::ComboBox4Click() {}
void TForm1::Timer1Timer() {}
void TForm1::Timer2Timer() {}
QString TForm1::ReadLogBlock(int) { return "Timeout !!!"; }
