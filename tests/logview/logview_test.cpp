// The log view of the main window: table filling, the number column's colours, the
// switch between the views and saving the table.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include "dialogs.h"
#include "form1.h"
#include "window_texts.h"
#include "log_export.h"
#include "qt_printers.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class LogViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.filePath("ports"));
        form.show();
        // Three layouts on 84 x 48 without separate log: 41 slots in the image.
        form.config.image.fill(0xFF);
        form.config.image[kLayoutByte] = 0x30;
        for (int r = 0; r < 3; ++r) putRecord(r, 12, 10 + r);
    }
    // A 9-byte record at 50.05616 N, 19.93812 E.
    void putRecord(int slot, int hour, int minute) {
        uint8_t* p = form.config.image.data() + ConfigImage::inImageLogRecordOffset(slot);
        const uint8_t rec[9] = {0x30, 0x61, 0x4C, uint8_t(hour), 0x24, 0x3C, 0x1E, uint8_t(minute << 1), 30};
        std::copy(rec, rec + 9, p);
    }
    QString cell(int row, int col) {
        const QTableWidgetItem* item = form.StringGrid2->item(row, col);
        return item ? item->text() : QString();
    }
    // Every cell of the table as shown, header row included.
    QList<QStringList> shownCells() {
        QList<QStringList> rows;
        for (int r = 0; r < form.StringGrid2->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < 9; ++c) row << cell(r, c);
            rows << row;
        }
        return rows;
    }

    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    TForm1 form;
};

}  // namespace

TEST_F(LogViewTest, TableListsNewestFirstInTheCurrentLanguage) {
    form.LogsView();
    EXPECT_EQ(form.StringGrid2->rowCount(), 16);
    EXPECT_EQ(cell(0, 0), "No.");
    EXPECT_EQ(cell(0, 8), "RSSI");
    EXPECT_EQ(cell(1, 0), "1");
    EXPECT_EQ(cell(1, 1), "12:12:30");  // slot 2 is the newest
    EXPECT_EQ(cell(3, 1), "12:10:30");
    EXPECT_TRUE(cell(1, 2).startsWith("50"));
    EXPECT_EQ(cell(1, 5), "");  // 9-byte records have no height
    EXPECT_EQ(cell(15, 0), "15");
    EXPECT_EQ(cell(15, 1), "");

    form.languagePolish = true;
    form.LogsView();
    EXPECT_EQ(cell(0, 0), "Lp.");
    EXPECT_EQ(cell(0, 2), QString::fromUtf8("Szer. geogr."));
}

TEST_F(LogViewTest, NumberColumnIsBlackOnYellow) {
    form.setView(TForm1::View::Log);
    form.LogsView();
    const QImage shot = form.StringGrid2->viewport()->grab().toImage();
    const QRect numberCell = form.StringGrid2->visualItemRect(form.StringGrid2->item(2, 0));
    const QRect timeCell = form.StringGrid2->visualItemRect(form.StringGrid2->item(2, 1));
    // A corner pixel away from the text shows the brush.
    EXPECT_EQ(shot.pixelColor(numberCell.right() - 1, numberCell.bottom() - 1), QColor(255, 255, 0));
    EXPECT_NE(shot.pixelColor(timeCell.right() - 1, timeCell.bottom() - 1), QColor(255, 255, 0));
    const QRect header = form.StringGrid2->visualItemRect(form.StringGrid2->item(0, 0));
    EXPECT_NE(shot.pixelColor(header.right() - 1, header.bottom() - 1), QColor(255, 255, 0));
}

TEST_F(LogViewTest, ViewSwitchWithoutDisplayShowsTheImageLog) {
    form.setView(TForm1::View::Screen);
    form.Button6Click();
    EXPECT_EQ(form.view(), TForm1::View::Log);
    EXPECT_EQ(form.Button6->text(), "Screen View");
    EXPECT_TRUE(scripted.shown.empty());  // nothing to download, nothing to report
    EXPECT_EQ(cell(1, 1), "12:12:30");
    form.Button6Click();
    EXPECT_EQ(form.view(), TForm1::View::Screen);
    EXPECT_EQ(form.Button6->text(), "Logs View");
}

TEST_F(LogViewTest, SaveWritesTheChosenFormat) {
    form.LogsView();
    const QList<QStringList> shown = shownCells();
    struct Case {
        int filterIndex;
        const char* name;
    };
    form.logDownloadDate = QDate(2026, 3, 4);  // carried by the GPX points
    for (const Case& c : {Case{1, "log.txt"}, Case{2, "log.kml"}, Case{3, "extruded.kml"}, Case{4, "log.gpx"}}) {
        const QString path = dir.filePath(c.name);
        scripted.fileAnswers.push_back({path, c.filterIndex});
        form.Button10Click();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.name;
        EXPECT_EQ(f.readAll(), ExportLog(shown, c.filterIndex, QDate(2026, 3, 4))) << c.name;
    }
    QFile gpx(dir.filePath("log.gpx"));
    ASSERT_TRUE(gpx.open(QIODevice::ReadOnly));
    EXPECT_EQ(gpx.readAll().count("<time>2026-03-04T12:1"), 3);
    const FileDialogRequest& asked = scripted.shown.back().request;
    EXPECT_EQ(asked.filter, vorkal::kLogFilter);
    EXPECT_TRUE(asked.filter.endsWith("|GPX file (*.gpx)|*.gpx"));
    EXPECT_EQ(asked.defaultExtension, "txt");
    EXPECT_TRUE(scripted.messages().isEmpty());
}

TEST_F(LogViewTest, FailedSaveReportsAndKeepsTheOldFile) {
    form.LogsView();
    // Cancelled dialog: nothing happens.
    form.Button10Click();
    EXPECT_TRUE(scripted.messages().isEmpty());

    const QString path = dir.filePath("missing-folder/log.txt");
    scripted.fileAnswers.push_back({path, 1});
    form.Button10Click();
    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_TRUE(scripted.messages()[0].contains(path));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(LogViewTest, SavedFileTakesTheExtensionOfTheChosenType) {
    form.LogsView();
    const QList<QStringList> shown = shownCells();
    const QByteArray text = ExportLog(shown, 1), kml = ExportLog(shown, 2);
    auto contents = [&](const char* name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto save = [&](const char* typed, int filterIndex) {
        scripted.fileAnswers.push_back({dir.filePath(typed), filterIndex});
        form.Button10Click();
    };

    save("flight", 1);
    EXPECT_EQ(contents("flight.txt"), text);
    save("flight", 2);  // a new file, not a question about flight.txt
    EXPECT_EQ(contents("flight.kml"), kml);
    EXPECT_EQ(contents("flight.txt"), text);
    save("notes.md", 2);  // an extension no type offers: the chosen type's is added
    EXPECT_EQ(contents("notes.md.kml"), kml);
    save("FLIGHT2.KML", 3);  // an extension of the type, in any case, is kept
    EXPECT_EQ(contents("FLIGHT2.KML"), ExportLog(shown, 3));
    for (const auto& s : scripted.shown) EXPECT_NE(s.kind, "yesno") << s.text.toStdString();

    // Replacing asks about the file that will really be written; No asks for a name again.
    scripted.shown.clear();
    scripted.answers = {MsgAnswer::No, MsgAnswer::Yes};
    scripted.fileAnswers.push_back({dir.filePath("flight"), 2});
    scripted.fileAnswers.push_back({dir.filePath("flight"), 1});
    form.Button10Click();
    ASSERT_EQ(scripted.shown.size(), 4u);
    EXPECT_EQ(scripted.shown[1].kind, "yesno");
    EXPECT_TRUE(scripted.shown[1].text.contains(dir.filePath("flight.kml"))) << scripted.shown[1].text.toStdString();
    EXPECT_EQ(scripted.shown[1].defaultAnswer, MsgAnswer::No);
    EXPECT_TRUE(scripted.shown[3].text.contains(dir.filePath("flight.txt")));
    EXPECT_EQ(contents("flight.kml"), kml);
    EXPECT_EQ(contents("flight.txt"), text);
}

TEST_F(LogViewTest, ExtensionRuleHoldsForAnyFilterList) {
    const QString filter =
        "Text Files (*.txt)|*.txt|KML file (*.kml)|*.kml|KML file with extruded patch (*.kml)|*.kml|"
        "GPX file (*.gpx)|*.gpx|Any (*.log;*.csv)|*.log;*.csv";
    struct Case {
        const char* typed;
        int filterIndex;
        const char* written;
    };
    const Case cases[] = {
        {"a", 1, "a.txt"},         {"a", 3, "a.kml"},     {"a", 4, "a.gpx"},     {"a.gpx", 4, "a.gpx"},
        {"a.kml", 4, "a.kml.gpx"}, {"a.csv", 5, "a.csv"}, {"a.b", 5, "a.b.log"}, {"dir.x/a", 1, "dir.x/a.txt"},
        {"a.", 2, "a.kml"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withFilterExtension(c.typed, filter, c.filterIndex), c.written) << c.typed << " " << c.filterIndex;
    }
    EXPECT_EQ(filterExtensions(filter, 4), QStringList{"gpx"});
    EXPECT_TRUE(filterExtensions(filter, 9).isEmpty());
    EXPECT_EQ(withFilterExtension("a", filter, 9), "a");  // no such choice: as typed
}

// A name typed with the extension of another offered type is written as that type,
// whatever type the dialog had chosen.
TEST_F(LogViewTest, TypedExtensionOfAnotherTypeChoosesThatType) {
    form.LogsView();
    const QList<QStringList> shown = shownCells();
    struct Case {
        const char* typed;
        int chosen;
        const char* written;
        int format;  // what the file must hold
    };
    const Case cases[] = {
        {"a.kml", 1, "a.kml", 2},  // text chosen, KML typed: plain KML, not a.kml.txt
        {"b.gpx", 1, "b.gpx", 4},     {"c.txt", 2, "c.txt", 1},
        {"d.TXT", 4, "d.TXT", 1},     {"e.kml", 3, "e.kml", 3},  // extruded KML keeps its own choice for .kml
        {"f.gpx", 3, "f.gpx", 4},     {"g.kml", 4, "g.kml", 2},
        {"h.set", 1, "h.set.txt", 1}, {"i.kml.bak", 2, "i.kml.bak.kml", 2},
    };
    for (const Case& c : cases) {
        scripted.fileAnswers.push_back({dir.filePath(c.typed), c.chosen});
        form.Button10Click();
        QFile f(dir.filePath(c.written));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.typed << " under " << c.chosen;
        // GPX points carry the export's date (the log was not downloaded).
        EXPECT_EQ(f.readAll(), ExportLog(shown, c.format, QDateTime::currentDateTimeUtc().date()))
            << c.typed << " under " << c.chosen;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), int(std::size(cases)));
    // The dialog opens next time with the type that was written.
    form.Button10Click();
    EXPECT_EQ(scripted.shown.back().request.filterIndex, 2);
    EXPECT_EQ(filterForTypedName("x.KML", vorkal::kSettingsFilter, 1), 1);  // one type only
}

TEST_F(LogViewTest, SaveDialogKeepsTheLastFolderAndType) {
    form.LogsView();
    QDir(dir.path()).mkpath("flights");
    scripted.fileAnswers.push_back({dir.filePath("flights/one"), 2});
    form.Button10Click();
    form.Button10Click();  // cancelled
    const FileDialogRequest& again = scripted.shown.back().request;
    EXPECT_EQ(again.filterIndex, 2);
    EXPECT_EQ(again.directory, dir.filePath("flights"));
}
