// The track window of the log view: opening it, the picture, the figures, and the link
// between the log table's selection and the point marked on the track.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "../log/log_records.h"
#include "dialogs.h"
#include "form1.h"
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
    ASSERT_EQ(w->figures->rowCount(), 3);
    auto figure = [&](int row, int col) { return w->figures->item(row, col)->text(); };
    EXPECT_EQ(figure(0, 1), "10:00:00");
    EXPECT_EQ(figure(2, 1), "10:20:00");
    EXPECT_EQ(figure(1, 2), "0:00:30");
    EXPECT_EQ(figure(1, 3), "500m");  // 3 x 0.0015 degree north
    EXPECT_EQ(figure(0, 5), "320m");
    EXPECT_EQ(figure(0, 6), "200m");
    EXPECT_EQ(figure(0, 7), "33kph");
    EXPECT_EQ(figure(0, 8), "67%");
    EXPECT_EQ(w->figures->horizontalHeaderItem(2)->text(), "Duration");
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
                      w->figures->visualItemRect(w->figures->item(1, 1)).center());
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
    EXPECT_EQ(w->figures->rowCount(), 0);
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
    EXPECT_EQ(w->figures->horizontalHeaderItem(0)->text(), "Lot");
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
