// Qt's own buttons read in the window's language: a Polish window gets Qt's Polish
// texts on the standard buttons of a real message box, an English one Qt's English.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "dialogs.h"
#include "form1.h"
#include "qt_translations.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

struct Buttons {
    QString yes, no;
};

// Asks through the real dialogs without blocking, reads the open box's Yes and No
// captions, and answers No.
Buttons askAndRead() {
    QtDialogs real;
    std::optional<MsgAnswer> answer;
    real.askYesNoLater("Confirm...", "Question ?", MsgIcon::Question, MsgAnswer::No,
                       [&answer](MsgAnswer a) { answer = a; });
    QMessageBox* box = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        return box != nullptr;
    }));
    if (!box) return {};
    const Buttons read{box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
    box->button(QMessageBox::No)->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }));
    EXPECT_EQ(answer, MsgAnswer::No);
    return read;
}

TEST(QtTranslations, StandardButtonsFollowTheWindowsLanguage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UseTestFolders(dir.path(), dir.filePath("ports"));
    ASSERT_TRUE(QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_pl.qm"))
        << "qt6-translations-l10n is not installed (scripts/deps.sh installs it)";
    TForm1 form;
    form.show();
    struct Case {
        int language;  // entry of the language group
        QString yes, no;
    };
    // English, Polish, and back: a switch back takes Qt's Polish away again.
    for (const Case& c : {Case{0, "&Yes", "&No"}, Case{1, "&Tak", "&Nie"}, Case{0, "&Yes", "&No"}}) {
        SCOPED_TRACE(c.language);
        form.RadioGroup6->setItemIndex(c.language);
        ASSERT_EQ(form.languagePolish, c.language == 1);
        const Buttons buttons = askAndRead();
        EXPECT_EQ(buttons.yes, c.yes);
        EXPECT_EQ(buttons.no, c.no);
    }
}

// A Polish window at start (stored language) has Qt's Polish from its first box on.
TEST(QtTranslations, APolishStartLoadsThemBeforeTheFirstBox) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UseTestFolders(dir.path(), dir.filePath("ports"));
    QSettings("Brask", "Vorkal").setValue("Lang", 1);
    TForm1 form;
    form.show();
    ASSERT_TRUE(form.languagePolish);
    const Buttons buttons = askAndRead();
    EXPECT_EQ(buttons.yes, "&Tak");
    EXPECT_EQ(buttons.no, "&Nie");
}

}  // namespace
