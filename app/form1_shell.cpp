// Start-up preparation, language, stored preferences, port list, views and the
// display-variant set-up of the main window.

#include <QAbstractItemView>
#include <QEvent>

#include "display_session.h"
#include "element_catalogue.h"
#include "form1.h"
#include "window_texts.h"
#include "port_list.h"
#include "track_window.h"
#include "preferences.h"
#include "preview_grid.h"
#include "put_away_note.h"
#include "qt_translations.h"

using namespace vorkal;

void TForm1::FormShow() {
    languagePolish = false;
    config.configurationLoaded = false;
    ComboBox4DropDown();
    ComboBox2->setCurrentIndex(0);

    if (const auto lang = Preferences::readLang()) languagePolish = *lang != 0;
    if (const auto port = Preferences::readPort()) {
        selectedPort = *port;
        portList_->select(*port);
    }
    rememberedAdapter_ = Preferences::readPortAdapter();
    OfferRememberedAdapter();
    if (const auto speed = Preferences::readSpeed()) {
        if (*speed >= 0 && *speed < ComboBox2->count()) {
            ComboBox2->setCurrentIndex(*speed);
        } else {
            ComboBox2->setCurrentIndex(-1);
            ComboBox2->setEditText(QString());
        }
    }

    RadioGroup6->setItemIndex(languagePolish ? 1 : 0);
    SetDisplay84x48();
    RadioGroup6Click();
}

void TForm1::ComboBox4DropDown() { portList_->refill(selectedPort, languagePolish); }

QString TForm1::absentPortHint() const { return portList_->absentHint(selectedPort, languagePolish); }

void TForm1::applyLanguageTexts() {
    ApplyWindowTexts({GroupBox1,
                      GroupBox2,
                      GroupBox3,
                      GroupBox4,
                      GroupBox6,
                      GroupBox7,
                      RadioGroup1,
                      RadioGroup2,
                      RadioGroup3,
                      RadioGroup2->button(0),
                      RadioGroup2->button(1),
                      CheckBox1,
                      CheckBox2,
                      StaticText1,
                      StaticText2,
                      StaticText3,
                      StaticText4,
                      StaticText5,
                      Button1,
                      Button2,
                      Button3,
                      Button4,
                      Button6,
                      Button7,
                      Button8,
                      Button9,
                      Button10,
                      Button11,
                      TrackButton},
                     languagePolish);
    Button5->setText(portIsOpen() || waitingForLostPort() ? tr2("Close", "Zamknij") : tr2("Open", "Otwórz"));
    if (trackWindow_) trackWindow_->setPolish(languagePolish);
    if (PutAwayNote && PutAwayNote->isVisible()) PutAwayNote->setText(PutAwayNoteLabel::noteFor(languagePolish, edits));
}

void TForm1::RadioGroup6Click() {
    languagePolish = RadioGroup6->itemIndex() == 1;
    // Without the translation file Qt's buttons stay English; the window's own texts
    // do not depend on it.
    UseQtTranslations(languagePolish);
    applyLanguageTexts();
    RadioGroup1->setItems(FontEntries(config.variant(), languagePolish));
    portList_->showPortOpenWillUse(selectedPort, languagePolish);
    Preferences::writeLang(languagePolish ? 1 : 0);
}

void TForm1::applyVariant(DisplayVariant v) {
    config.setVariant(v);
    StringGrid1->fitVariant(config.info());
    if (v == DisplayVariant::D128x64) config.separateLog = true;
    elementControls_.fitVariant(config.info(), FontEntries(config.variant(), languagePolish));
}

void TForm1::SetDisplay84x48() { applyVariant(DisplayVariant::D84x48); }
void TForm1::SetDisplay128x64() { applyVariant(DisplayVariant::D128x64); }

void TForm1::setView(View v) {
    view_ = v;
    StringGrid1->setVisible(v != View::Log);
    StringGrid2->setVisible(v == View::Log);
    GroupBox6->setVisible(v != View::Screen);
    GroupBox2->setVisible(v == View::Screen);
    RadioGroup6->setVisible(v == View::Start);
    RadioGroup3->setVisible(v == View::Screen);
    Button6->setVisible(v != View::Start);
    Button9->setVisible(v == View::Log);
    Button10->setVisible(v == View::Log);
    TrackButton->setVisible(v == View::Log);
}
