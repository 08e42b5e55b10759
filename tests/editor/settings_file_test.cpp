// Import and export of settings files through the main window's buttons.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>
#include <memory>
#include <sys/resource.h>

#include "dialogs.h"
#include "form1.h"
#include "layout_editor.h"
#include "preview_renderer.h"
#include "qt_printers.h"
#include "user_folders.h"

using namespace vorkal;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(files.isValid());
        UseTestFolders(settingsDir.path(), settingsDir.path());
    }
    std::unique_ptr<TForm1> window(bool large) {
        auto w = std::make_unique<TForm1>();
        w->show();
        if (large) w->SetDisplay128x64();
        return w;
    }
    // A shown configuration with recognisable bytes everywhere a file carries them.
    void fill(TForm1& w, bool large, bool separateLog) {
        if (large) w.SetDisplay128x64();
        else w.SetDisplay84x48();
        w.config.LoadFactoryImage();
        for (int i = w.config.layoutAreaLength(); i < 504; ++i) w.config.image[size_t(i)] = uint8_t(i * 7);
        for (size_t i = 0; i < w.config.logImage.size(); ++i) w.config.logImage[i] = uint8_t(i * 13 + 5);
        w.config.separateLog = separateLog;
        w.ShowLoadedConfiguration();
    }
    QString path(const QString& name) const { return files.filePath(name); }
    void importFile(TForm1& w, const QString& name) {
        scripted.fileAnswers.push_back({path(name), 1});
        w.Button1Click();
    }
    // Chooses `name` in the save dialog; replacing a file that exists is confirmed.
    void exportFile(TForm1& w, const QString& name) {
        scripted.fileAnswers.push_back({path(name), 1});
        if (QFile::exists(path(name))) scripted.answers.push_back(MsgAnswer::Yes);
        w.Button2Click();
    }
    QByteArray contents(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray bytesOf(const uint8_t* p, int n) { return QByteArray(reinterpret_cast<const char*>(p), n); }
    // The element list, the position controls and the preview all show the image as it is.
    static void expectShowsTheImage(TForm1& w) {
        const int i = w.ComboBox1->currentIndex();
        ASSERT_GE(i, 0);
        const ElementValues v = DecodeElement(w.config, i);
        EXPECT_EQ(w.Edit1->text(), QString::number(v.x));
        EXPECT_EQ(w.Edit2->text(), QString::number(v.y));
        PreviewCanvas expected;
        RenderPreview(expected, w.config, w.config.ElementOffset(i));
        EXPECT_TRUE(expected.pixels == w.previewCanvas.pixels) << "the preview is not the image";
    }

    QTemporaryDir settingsDir, files;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
};

}  // namespace

TEST_F(SettingsFileTest, ExportThenImportIsByteExact) {
    struct Case {
        bool large, separateLog;
        int size, imagePart;
        bool importerLarge;  // variant of the importing window before the import
    };
    const Case cases[] = {
        {false, false, 512, 512, true},  // an 84 x 48 image selects 84 x 48
        {false, true, 8704, 512, true},
        {true, true, 33792, 1024, false},
        {false, false, 512, 512, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << (c.importerLarge ? " into 128 x 64" : ""));
        auto source = window(false);
        fill(*source, c.large, c.separateLog);
        exportFile(*source, "a.set");
        const QByteArray file = contents("a.set");
        ASSERT_EQ(file.size(), c.size);
        EXPECT_EQ(file.left(c.imagePart), bytesOf(source->config.image.data(), c.imagePart));
        EXPECT_EQ(file.mid(c.imagePart), bytesOf(source->config.logImage.data(), c.size - c.imagePart));

        auto target = window(c.importerLarge);
        target->config.image.fill(0xAB);
        importFile(*target, "a.set");
        EXPECT_EQ(target->config.is128x64(), c.large);
        EXPECT_EQ(target->config.separateLog, c.separateLog);
        EXPECT_EQ(target->ComboBox1->count(), c.large ? 43 : 21);
        EXPECT_TRUE(target->config.configurationLoaded);
        EXPECT_EQ(target->view(), TForm1::View::Screen);
        EXPECT_EQ(bytesOf(target->config.image.data(), c.imagePart), file.left(c.imagePart));
        EXPECT_EQ(bytesOf(target->config.logImage.data(), c.size - c.imagePart), file.mid(c.imagePart));
        if (c.imagePart == 512) {
            EXPECT_EQ(target->config.image[600], 0xAB);  // beyond the file: kept
        }
        exportFile(*target, "b.set");
        EXPECT_EQ(contents("b.set"), file);
    }
    EXPECT_TRUE(scripted.messages().isEmpty());
    ASSERT_GE(scripted.shown.size(), 2u);
    const FileDialogRequest& save = scripted.shown[0].request;
    const FileDialogRequest& open = scripted.shown[1].request;
    EXPECT_EQ(save.filter, "Setting Files (*.set)|*.set");
    EXPECT_EQ(save.defaultExtension, "set");
    EXPECT_TRUE(save.promptOverwrite);
    EXPECT_EQ(open.filter, "Setting Files (*.set)|*.set");
    EXPECT_EQ(open.defaultExtension, "BIN");
}

TEST_F(SettingsFileTest, FilesOfOtherSizesAreNamedAsSuchAndCancelledDialogsChangeNothing) {
    auto w = window(false);
    fill(*w, false, false);
    const auto image = w->config.image;
    const auto log = w->config.logImage;
    for (int size : {0, 511, 513, 1024, -1}) {
        SCOPED_TRACE(size);
        scripted.shown.clear();
        if (size >= 0) {
            write("odd.set", QByteArray(size, char(0x30)));
            importFile(*w, "odd.set");
            ASSERT_EQ(scripted.messages().size(), 1);
            const QString text = scripted.messages()[0];
            for (const char* part : {"512", "8704", "33792", "odd.set"}) {
                EXPECT_TRUE(text.contains(part)) << text.toStdString();
            }
        } else {
            w->Button1Click();  // cancelled: no answer scripted
            w->Button2Click();
            EXPECT_TRUE(scripted.messages().isEmpty());
        }
        EXPECT_TRUE(w->config.image == image);
        EXPECT_TRUE(w->config.logImage == log);
        EXPECT_FALSE(w->config.is128x64());
        EXPECT_FALSE(w->config.separateLog);
    }
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{"odd.set"});

    // In Polish too.
    w->RadioGroup6->setItemIndex(1);
    scripted.shown.clear();
    importFile(*w, "odd.set");
    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_TRUE(scripted.messages()[0].contains(QString::fromUtf8("nie jest plikiem ustawień")));
    EXPECT_TRUE(scripted.messages()[0].contains("33792"));
}

// After any import attempt an edit lands on the element the controls name.
TEST_F(SettingsFileTest, EveryImportAttemptLeavesTheEditorShowingTheImage) {
    write("short.set", QByteArray(600, char(0x30)));
    QByteArray noLayouts(512, char(0x11));
    noLayouts[508] = char(0x05);
    write("empty.set", noLayouts);
    {
        auto source = window(false);
        fill(*source, false, false);
        exportFile(*source, "good.set");
    }
    for (const char* name : {"short.set", "missing.set", "empty.set", "good.set"}) {
        SCOPED_TRACE(name);
        auto w = window(false);
        fill(*w, false, false);
        // Some text element other than the bar, moved away from the bar's Y.
        const int entry = 4;
        w->ComboBox1->setCurrentIndex(entry);
        w->ComboBox1Change();
        w->UpDown2->setPosition(28);
        w->UpDown2Click(28);
        const auto barBefore = bytesOf(w->config.image.data() + w->config.ElementOffset(0), 4);
        scripted.answers.push_back(MsgAnswer::Yes);  // drop the unsaved edits above
        importFile(*w, name);
        const bool accepted = QString(name) == "good.set";
        EXPECT_EQ(w->ComboBox1->currentIndex(), accepted ? 0 : entry);
        ASSERT_NO_FATAL_FAILURE(expectShowsTheImage(*w));
        // Y up moves the element the list names, and only that one.
        const int selected = w->ComboBox1->currentIndex();
        const auto othersBefore = w->config.image;
        const int y = DecodeElement(w->config, selected).y;
        w->UpDown2->click(TUpDown::Direction::Up);
        EXPECT_EQ(DecodeElement(w->config, selected).y, y + 1);
        auto othersAfter = w->config.image;
        othersAfter[size_t(w->config.ElementOffset(selected) + 1)] =
            othersBefore[size_t(w->config.ElementOffset(selected) + 1)];
        EXPECT_TRUE(othersAfter == othersBefore) << "another element changed";
        if (!accepted) {
            EXPECT_EQ(bytesOf(w->config.image.data() + w->config.ElementOffset(0), 4), barBefore);
        }
        ASSERT_NO_FATAL_FAILURE(expectShowsTheImage(*w));
    }
}

// The settings file is the only type its dialog offers: any other extension typed is
// part of the name, and the file gets ".set".
TEST_F(SettingsFileTest, ExportAlwaysWritesASettingsFile) {
    auto w = window(false);
    fill(*w, false, false);
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {
        {"flight.kml", "flight.kml.set"}, {"flight.txt", "flight.txt.set"}, {"a.SET", "a.SET"}, {"b", "b.set"}};
    for (const auto& c : cases) {
        exportFile(*w, c.typed);
        EXPECT_EQ(contents(c.written), bytesOf(w->config.image.data(), 512)) << c.typed;
    }
    EXPECT_FALSE(QFile::exists(path("flight.kml")));
}

TEST_F(SettingsFileTest, DialogsStartWhereTheLastOneWasLeft) {
    QDir(files.path()).mkpath("layouts");
    auto w = window(false);
    fill(*w, false, false);
    exportFile(*w, "layouts/a.set");
    // Export and import share their place; the firmware dialog keeps its own.
    scripted.shown.clear();
    w->Button1Click();  // cancelled
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_EQ(scripted.shown[0].request.directory, files.filePath("layouts"));
    scripted.fileAnswers.push_back({files.filePath("b.set"), 1});
    w->Button2Click();
    EXPECT_EQ(scripted.shown.back().request.directory, files.filePath("layouts"));
    w->Button2Click();  // cancelled
    EXPECT_EQ(scripted.shown.back().request.directory, files.path());
    // Nothing of it is stored: a new run starts afresh.
    auto next = window(false);
    fill(*next, false, false);
    next->Button1Click();
    EXPECT_TRUE(scripted.shown.back().request.directory.isEmpty());
    EXPECT_FALSE(QSettings("Brask", "Vorkal").allKeys().contains("Dir"));
}

TEST_F(SettingsFileTest, UnreadableFilesAreReportedAndChangeNothing) {
    auto w = window(false);
    fill(*w, false, false);
    const auto image = w->config.image;
    QByteArray noLayouts(512, char(0x11));
    noLayouts[508] = char(0x05);
    write("empty.set", noLayouts);
    for (const char* name : {"missing.set", "empty.set"}) {
        SCOPED_TRACE(name);
        scripted.shown.clear();
        importFile(*w, name);
        ASSERT_EQ(scripted.messages().size(), 1);
        EXPECT_TRUE(scripted.messages()[0].contains(path(name)));
        EXPECT_TRUE(w->config.image == image);
    }
}

TEST_F(SettingsFileTest, FailedExportLeavesTheOldFileAsItWas) {
    auto w = window(false);
    fill(*w, true, true);  // 33792 bytes to write
    const QByteArray old(700, char(0x5A));
    write("keep.set", old);

    // A file-size limit makes the write fail part way, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    exportFile(*w, "keep.set");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_TRUE(scripted.messages()[0].contains(path("keep.set")));
    EXPECT_EQ(contents("keep.set"), old);
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{"keep.set"});  // no leftovers

    // A folder that does not exist cannot take the file.
    exportFile(*w, "no/such/folder/x.set");
    ASSERT_EQ(scripted.messages().size(), 2);
    EXPECT_TRUE(scripted.messages()[1].contains(path("no/such/folder/x.set")));
}
