#pragma once
// Qt's own texts (the standard buttons of message boxes, file dialogs, edit menus) in
// the window's language, from the Qt translation files of the system.

namespace vorkal {

// Installs Qt's Polish texts for `polish`, or takes them away again. True when the
// texts asked for are in place (English always is); false when no Polish translation
// file was found, and Qt's English texts stay.
bool UseQtTranslations(bool polish);

}  // namespace vorkal
