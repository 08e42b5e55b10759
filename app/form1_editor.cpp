// The layout editor: element selection, property controls, typed values, mouse dragging.

#include "form1.h"

void TForm1::ShowLoadedConfiguration() {}
void TForm1::ApplyLayoutHeader() {}
void TForm1::LoadElementControls() {}
void TForm1::ComboBox1Change() {}
void TForm1::CheckBox1Click() {}
void TForm1::CheckBox2Click() {}
void TForm1::RadioGroup1Click() {}
void TForm1::RadioGroup2Click() {}
void TForm1::RadioGroup3Click() {}
bool TForm1::Edit1KeyPress(QLineEdit*, QChar) { return true; }
void TForm1::Edit1Exit() {}
void TForm1::Edit2Exit() {}
void TForm1::Edit3Exit() {}
void TForm1::Edit4Exit() {}
void TForm1::UpDown1Click(int) {}
void TForm1::UpDown2Click(int) {}
void TForm1::UpDown3Click(int) {}
void TForm1::UpDown4Click(int) {}
void TForm1::StringGrid1MouseDown(Qt::MouseButton, int, int) {}
void TForm1::StringGrid1MouseMove(int, int) {}
void TForm1::StringGrid1MouseUp(Qt::MouseButton, int, int) {}
