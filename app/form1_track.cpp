// The track window of the log view: the Track button, the double-click on a log row and
// the link between the log table's selection and the point marked on the track.

#include <QLocale>

#include "form1.h"
#include "track_window.h"

using namespace vorkal;

void TForm1::createTrackControls() {
    // In the log view the screen-layout group above Button6 is hidden: the button takes
    // its place there and moves nothing.
    TrackButton = new QPushButton(tr2("Track", "Trasa"), this);
    TrackButton->setGeometry(96, 136, 90, 22);
    TrackButton->setAutoDefault(false);
    TrackButton->hide();
    connect(TrackButton, &QPushButton::clicked, this, &TForm1::TrackButtonClick);
    connect(StringGrid2, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        TrackButtonClick();
        trackWindow_->markRow(row);
    });
    connect(StringGrid2, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (trackWindow_) trackWindow_->markRow(row);
    });
}

void TForm1::TrackButtonClick() {
    if (!trackWindow_) {
        trackWindow_ = new TrackWindow(this);
        UseLightPalette(trackWindow_);
        connect(trackWindow_, &TrackWindow::rowChosen, this, [this](int row) {
            StringGrid2->selectRow(row);
            StringGrid2->scrollToItem(StringGrid2->item(row, 0));
            trackWindow_->markRow(row);
        });
    }
    trackWindow_->setPolish(languagePolish);
    trackWindow_->show();
    refreshTrackWindow();
    trackWindow_->markRow(StringGrid2->currentRow());
    trackWindow_->raise();
    trackWindow_->activateWindow();
}

void TForm1::refreshTrackWindow() {
    if (trackWindow_ && trackWindow_->isVisible())
        trackWindow_->setLog(logTableCells(), QLocale::system().decimalPoint());
}
