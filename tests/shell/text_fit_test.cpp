// Every text of the main window fits the control that shows it, in both languages, at
// the fixed positions the window is laid out with.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

#include "dialogs.h"
#include "element_catalogue.h"
#include "form1.h"
#include "log_table.h"
#include "qt_printers.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class TextFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.path());
    }
    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
};

int advance(const QWidget* w, const QString& text) { return w->fontMetrics().horizontalAdvance(text); }

// Width a control leaves for its text: its frame and a little padding off each side
// for buttons, the indicator and its spacing for check and radio buttons, the arrow for
// combo boxes, the title's inset on both sides for group boxes.
int textArea(const QWidget* w) {
    const QStyle* style = w->style();
    if (qobject_cast<const QPushButton*>(w))
        return w->width() - 2 * (style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w) + 2);
    if (qobject_cast<const QCheckBox*>(w))
        return w->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) -
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
    if (qobject_cast<const QRadioButton*>(w))
        return w->width() - style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) -
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
    if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        opt.frame = true;
        opt.subControls = QStyle::SC_All;
        return style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo).width() - 2;
    }
    if (qobject_cast<const QGroupBox*>(w)) return w->width() - 2 * 8;
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->contentsRect().width();
    return w->width();
}

QString textOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    return {};
}

// Texts some handler sets while the program runs, per control and language.
struct RunTimeTexts {
    QWidget* control;
    QStringList english, polish;
};

}  // namespace

TEST_F(TextFitTest, EveryCaptionAndHeaderFitsItsControlInBothLanguages) {
    TForm1 f;
    f.show();
    // The narrow layout relies on a metric-compatible face being installed.
    EXPECT_TRUE(QFontInfo(f.font()).family().startsWith("Liberation Sans"))
        << QFontInfo(f.font()).family().toStdString();

    const std::vector<RunTimeTexts> runTime = {
        {f.Button5, {"Open", "Close"}, {QString::fromUtf8("Otwórz"), "Zamknij"}},
        {f.Button6, {"Logs Viev", "Logs View", "Screen View"}, {"Rejestracja", QString::fromUtf8("Układ Ekranu")}},
        {f.StaticText5,
         {"Connected", "Disconnected"},
         {QString::fromUtf8("Połączony"), QString::fromUtf8("Odłączony")}},
        {f.StaticText6, {"Firmware version: v1.23+"}, {"Oprogramowanie: v1.23+"}},
        {f.StaticText3, {"Length"}, {QString::fromUtf8("Długość")}},
        {f.StaticText4, {"Height", "Size", "Width"}, {"Rozmiar", QString::fromUtf8("Grubość")}},
        {f.CheckBox2, {"Negativ", "Negative", "Vertical"}, {"Negatyw", "Pionowa"}},
        {f.ComboBox4, {"Select...", "COM99 ?"}, {"Wybierz...", "COM99 ?"}},
    };
    for (const bool polish : {false, true}) {
        SCOPED_TRACE(polish ? "Polish" : "English");
        f.RadioGroup6->setItemIndex(polish ? 1 : 0);
        int measured = 0;
        for (QWidget* w : f.findChildren<QWidget*>()) {
            const QString text = textOf(w);
            if (text.trimmed().isEmpty()) continue;
            ++measured;
            EXPECT_LE(advance(w, text), textArea(w))
                << w->objectName().toStdString() << " " << w->metaObject()->className() << " \"" << text.toStdString()
                << "\"";
        }
        EXPECT_GT(measured, 40);
        for (const RunTimeTexts& r : runTime) {
            for (const QString& text : polish ? r.polish : r.english) {
                EXPECT_LE(advance(r.control, text), textArea(r.control)) << "\"" << text.toStdString() << "\"";
            }
        }
        // Element names in the element list, both variants.
        for (const DisplayVariant v : {DisplayVariant::D84x48, DisplayVariant::D128x64}) {
            for (const QString& name : ElementListEntries(v, polish)) {
                EXPECT_LE(advance(f.ComboBox1, name), textArea(f.ComboBox1)) << "\"" << name.toStdString() << "\"";
            }
        }
        // The log table's header row: a cell's text starts 2 pixels in, before the grid line.
        const QStringList header = LogTableHeader(polish);
        for (int c = 0; c < header.size(); ++c) {
            const int room = f.StringGrid2->columnWidth(c) - 2 - 1;
            EXPECT_LE(advance(f.StringGrid2, header[c]), room) << "\"" << header[c].toStdString() << "\"";
        }
    }
}
