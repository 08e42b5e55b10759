// The track window of the log view: opening it, the picture, the figures, and the link
// between the log table's selection and the point marked on the track.

#include <gtest/gtest.h>

#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "../log/log_records.h"
#include "dialogs.h"
#include "form1.h"
#include "log_record.h"
#include "settings_file.h"
#include "track_picture.h"
#include "track_window.h"
#include "user_folders.h"

using namespace vorkal;
using vorkal::test::RecordFields;

namespace {

class TrackWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseTestFolders(dir.path(), dir.filePath("ports"));
        form.SetDisplay128x64();
        form.config.logImage.fill(0xFF);
        // Three flights of four points each, ten minutes apart, going east, north and west.
        int slot = 0;
        for (int f = 0; f < 3; ++f)
            for (int i = 0; i < 4; ++i) {
                const int32_t step = 150 * i;
                RecordFields r{.hour = 10,
                               .minute = 10 * f,
                               .second = 10 * i,
                               .latitude = 5006143 + (f == 1 ? step : 0),
                               .longitude = 1993812 + (f == 0   ? step
                                                       : f == 2 ? -step
                                                                : 0),
                               .height = 200 + 40 * i,
                               .speed = 30 + i,
                               .rssi = 70 - i};
                vorkal::test::putLogRecord(form.config, slot++, vorkal::test::encodeRecord(r));
            }
        form.show();
        form.setView(TForm1::View::Log);
        form.LogsView();
    }

    TrackWindow* openWindow() {
        QTest::mouseClick(form.TrackButton, Qt::LeftButton);
        TrackWindow* w = form.trackWindow();
        if (w) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        }
        return w;
    }

    static QString figureText(const TrackWindow* w, int row, int column) {
        return w->figures->model()->index(row, column).data().toString();
    }
    static QString headerText(const TrackWindow* w, int column) {
        return w->figures->model()->headerData(column, Qt::Horizontal).toString();
    }

    QTemporaryDir dir;
    ScriptedDialogs scripted;
    DialogsGuard guard{&scripted};
    TForm1 form;
};

TEST_F(TrackWindowTest, TrackButtonShowsOnlyInTheLogViewAndCoversNothing) {
    EXPECT_TRUE(form.TrackButton->isVisible());
    // Nothing else visible on the main window overlaps the button.
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w == form.TrackButton || !w->isVisible() || w->isWindow()) continue;
        EXPECT_FALSE(w->geometry().intersects(form.TrackButton->geometry())) << w->metaObject()->className();
    }
    form.setView(TForm1::View::Screen);
    EXPECT_FALSE(form.TrackButton->isVisible());
    form.setView(TForm1::View::Start);
    EXPECT_FALSE(form.TrackButton->isVisible());
}

TEST_F(TrackWindowTest, WindowShowsEachFlightWithItsFigures) {
    TrackWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->flightCount(), 3);
    ASSERT_EQ(w->figures->model()->rowCount(), 3);
    auto figure = [&](int row, int col) { return figureText(w, row, col); };
    EXPECT_EQ(figure(0, 1), "10:00:00");
    EXPECT_EQ(figure(2, 1), "10:20:00");
    EXPECT_EQ(figure(1, 2), "0:00:30");
    EXPECT_EQ(figure(1, 3), "500m");  // 3 x 0.0015 degree north
    EXPECT_EQ(figure(0, 5), "320m");
    EXPECT_EQ(figure(0, 6), "200m");
    EXPECT_EQ(figure(0, 7), "33kph");
    EXPECT_EQ(figure(0, 8), "67%");
    EXPECT_EQ(headerText(w, 2), "Duration");
    EXPECT_EQ(w->windowTitle(), "Flight track");

    // Each flight's own colour is on the picture.
    const QImage shot = w->view->picture();
    for (int f = 0; f < 3; ++f) {
        const QColor colour = FlightColour(f);
        bool found = false;
        for (int y = 0; y < shot.height() && !found; y += 1)
            for (int x = 0; x < shot.width() && !found; ++x) {
                const QColor c = shot.pixelColor(x, y);
                found = c.hsvHue() >= 0 && std::abs(c.hsvHue() - colour.hsvHue()) <= 2 && c.hsvSaturation() > 100;
            }
        EXPECT_TRUE(found) << "flight " << f;
    }
}

TEST_F(TrackWindowTest, TableRowAndTrackPointFollowEachOther) {
    TrackWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    // A row chosen in the log table is marked on the track.
    form.StringGrid2->selectRow(5);
    EXPECT_EQ(w->view->selectedRow(), 5);

    // A click near a point of the track chooses that point's row in the log table.
    const ProjectedTrack track = ProjectFlights(ReadLogFlights([&] {
        LogTableCells cells;
        for (int r = 0; r < form.StringGrid2->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < 9; ++c) row << form.StringGrid2->item(r, c)->text();
            cells << row;
        }
        return cells;
    }()));
    const TrackFrame frame = TrackPictureFrame(track, w->view->size());
    // The window keeps the picture and marks each chosen row anew: it shows what a fresh
    // drawing with that row shows, and the ring of the row chosen before is gone.
    for (int row : {5, 2, -1}) {
        if (row >= 0) form.StringGrid2->selectRow(row);
        else w->markRow(-1);
        EXPECT_EQ(w->view->picture(), DrawTrackPicture(track, w->view->size(), row, false)) << "row " << row;
    }
    const TrackPoint& target = track.flights[2][3];  // the western end of the third flight
    const QPoint pixel = frame.toPixel(target.metres).toPoint() + QPoint(3, -2);
    QTest::mouseClick(w->view, Qt::LeftButton, Qt::NoModifier, pixel);
    EXPECT_EQ(form.StringGrid2->currentRow(), target.row);
    EXPECT_EQ(w->view->selectedRow(), target.row);

    // A click far from the track changes nothing.
    QTest::mouseClick(w->view, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(form.StringGrid2->currentRow(), target.row);

    // A flight chosen in the figures picks its first row.
    QTest::mouseClick(w->figures->viewport(), Qt::LeftButton, Qt::NoModifier,
                      w->figures->visualRect(w->figures->model()->index(1, 1)).center());
    EXPECT_EQ(form.StringGrid2->currentRow(), 8);  // rows 8..5 hold the second flight
}

TEST_F(TrackWindowTest, DoubleClickOnALogRowOpensTheWindowAtThatRow) {
    const QRect cell = form.StringGrid2->visualItemRect(form.StringGrid2->item(3, 1));
    // A real double-click: press, release, then the second press arrives as a double-click.
    QTest::mouseClick(form.StringGrid2->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(form.StringGrid2->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    ASSERT_NE(form.trackWindow(), nullptr);
    EXPECT_TRUE(form.trackWindow()->isVisible());
    EXPECT_EQ(form.trackWindow()->view->selectedRow(), 3);
}

TEST_F(TrackWindowTest, WindowFollowsTheTableAndTheLanguage) {
    TrackWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    // A cleared log refills the table and the window with it.
    form.config.logImage.fill(0xFF);
    form.LogsView();
    EXPECT_EQ(w->flightCount(), 0);
    EXPECT_EQ(w->figures->model()->rowCount(), 0);
    // Closed, it is brought up to date when it opens again.
    w->close();
    vorkal::test::putLogRecord(form.config, 0,
                               vorkal::test::encodeRecord({.hour = 9, .latitude = 5006143, .longitude = 1993812}));
    form.LogsView();
    EXPECT_EQ(openWindow(), w);
    EXPECT_EQ(w->flightCount(), 1);

    form.RadioGroup6->setItemIndex(1);  // Polish
    EXPECT_EQ(form.TrackButton->text(), "Trasa");
    EXPECT_EQ(w->windowTitle(), "Trasa lotu");
    EXPECT_EQ(w->closeButton->text(), "Zamknij");
    EXPECT_EQ(headerText(w, 0), "Lot");
}

// A display left logging for days with records two minutes apart: every record is a flight
// of its own, 2048 of them in the 128 x 64 log memory, brought in by importing its
// settings file while the track window is open.
TEST_F(TrackWindowTest, OpenWindowRefreshesToTwoThousandFlightsWithTheirFigures) {
    TrackWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->flightCount(), 3);

    ConfigImage display;
    display.setVariant(DisplayVariant::D128x64);
    display.LoadFactoryImage();
    display.separateLog = true;
    auto record = [](int i) {
        const int seconds = (8 * 3600 + 120 * i) % 86400;  // days go by: the clock wraps
        return RecordFields{.hour = seconds / 3600,
                            .minute = seconds / 60 % 60,
                            .second = seconds % 60,
                            .latitude = 5006143 + (i * 37) % 2000,
                            .longitude = 1993812 - (i * 53) % 3000,
                            .height = 100 + i % 400,
                            .speed = i % 200,
                            .rssi = i % 100};
    };
    for (int i = 0; i < kLogSlots128x64; ++i)
        vorkal::test::putLogRecord(display, i, vorkal::test::encodeRecord(record(i)));
    const QString path = dir.filePath("days.set");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray bytes = SettingsFileBytes(display);
        ASSERT_EQ(bytes.size(), kSettingsFile128x64Log);
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    scripted.fileAnswers.push_back({path, 1});
    form.Button1Click();
    ASSERT_TRUE(scripted.messages().isEmpty()) << scripted.messages().join('\n').toStdString();

    ASSERT_EQ(w->flightCount(), kLogSlots128x64);
    const QAbstractItemModel* model = w->figures->model();
    ASSERT_EQ(model->rowCount(), kLogSlots128x64);

    // The figures log/ computes from the log table as shown, row for row.
    LogTableCells cells;
    for (int r = 0; r < form.StringGrid2->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < kLogColumns; ++c) row << form.StringGrid2->item(r, c)->text();
        cells << row;
    }
    const QList<FlightRows> flights = ReadLogFlights(cells);
    ASSERT_EQ(flights.size(), kLogSlots128x64);
    auto rowOf = [&](int f) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c) row << figureText(w, f, c);
        return row;
    };
    int mismatches = 0;
    for (int f = 0; f < flights.size(); ++f) {
        const QStringList expected =
            QStringList{QString::number(f + 1)} +
            FormatFlightFigures(ComputeFlightFigures(flights[f]), QLocale::system().decimalPoint());
        if (rowOf(f) != expected && ++mismatches <= 5)
            ADD_FAILURE() << "flight " << f + 1 << ": " << rowOf(f).join(' ').toStdString() << " instead of "
                          << expected.join(' ').toStdString();
    }
    EXPECT_EQ(mismatches, 0);

    // The same rows from the records themselves: the oldest record is the first flight, a
    // flight of one record flies no distance and takes no time, its one reading is its
    // highest, lowest, fastest and weakest.
    for (int f : {0, 1, 719, 720, 2047}) {
        const RecordFields r = record(f);
        EXPECT_EQ(rowOf(f), (QStringList{QString::number(f + 1),
                                         QTime(r.hour, r.minute, r.second).toString(QStringLiteral("HH:mm:ss")),
                                         "0:00:00", "0m", "0m", QStringLiteral("%1m").arg(r.height),
                                         QStringLiteral("%1m").arg(r.height), QStringLiteral("%1kph").arg(r.speed),
                                         QStringLiteral("%1%").arg(r.rssi, 2, 10, QLatin1Char('0'))}))
            << "flight " << f + 1;
        EXPECT_EQ(model->index(f, 0).data(Qt::DecorationRole).value<QColor>(), FlightColour(f));
    }

    // Every text fits its column, the widest included, wherever it lies in the table.
    for (int c = 0; c < model->columnCount(); ++c) {
        int widest = 0;
        for (int f = 0; f < model->rowCount(); ++f)
            widest = std::max(widest, w->figures->sizeHintForIndex(model->index(f, c)).width());
        EXPECT_LE(widest, w->figures->columnWidth(c)) << "column " << c;
    }

    // Away to the screen view and back: the window keeps showing the same flights.
    form.Button6Click();
    form.Button6Click();
    ASSERT_EQ(model->rowCount(), kLogSlots128x64);
    EXPECT_EQ(rowOf(2047), QStringList{QString::number(2048)} + FormatFlightFigures(ComputeFlightFigures(flights[2047]),
                                                                                    QLocale::system().decimalPoint()));
}

TEST_F(TrackWindowTest, PictureSavesAsPng) {
    TrackWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    const QString path = dir.filePath("track.png");
    scripted.fileAnswers.push_back({path, 1});
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QImage saved;
    ASSERT_TRUE(saved.load(path, "PNG"));
    EXPECT_EQ(saved.size(), w->view->size());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_ARGB32), w->view->picture().convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(scripted.shown.back().request.defaultExtension, "png");

    // A place that cannot be written: a message, and nothing left behind.
    const QString bad = dir.filePath("missing/track.png");
    scripted.fileAnswers.push_back({bad, 1});
    w->SavePictureClick();
    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_TRUE(scripted.messages()[0].contains(bad));
    EXPECT_FALSE(QFile::exists(bad));
}

}  // namespace
