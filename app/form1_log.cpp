// Flight log: the switch between screen and log view with the download, the log table
// drawn from the log view model, its export and the track window.

#include <QDateTime>
#include <QLocale>
#include <QPainter>

#include "dialogs.h"
#include "display_session.h"
#include "form1.h"
#include "window_texts.h"
#include "form2.h"
#include "log_export.h"
#include "log_record.h"
#include "log_table.h"
#include "track_window.h"

using namespace vorkal;

void TForm1::StringGrid2DrawCell(int column, int row, QPainter* painter, const QRect& rect) {
    if (column == 0 && row > 0) {
        painter->setPen(Qt::black);
        painter->setBrush(QColor(255, 255, 0));
    }
    painter->fillRect(rect, painter->brush());
    const QTableWidgetItem* item = StringGrid2->item(row, column);
    if (!item) return;
    painter->setClipRect(rect);
    painter->drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
}

void TForm1::LogsView() {
    if (!logView.refresh(config, languagePolish, QLocale::system().decimalPoint())) {
        if (trackWindow_) trackWindow_->follow(logView);
        return;
    }
    const LogTableCells& cells = logView.rows();
    StringGrid2->setUpdatesEnabled(false);
    StringGrid2->setRowCount(int(cells.size()));
    for (int r = 0; r < cells.size(); ++r) {
        const QStringList& row = cells[r];
        for (int c = 0; c < StringGrid2->columnCount(); ++c) {
            const QString text = c < row.size() ? row[c] : QString();
            if (QTableWidgetItem* item = StringGrid2->item(r, c)) item->setText(text);
            else StringGrid2->setItem(r, c, new QTableWidgetItem(text));
        }
    }
    StringGrid2->setUpdatesEnabled(true);
    if (trackWindow_) trackWindow_->follow(logView);
}

void TForm1::Button6Click() {
    if (view() == View::Log) {
        setView(View::Screen);
        UpdateGrid();
        Button6->setText(tr2("Logs View", "Rejestracja"));
        return;
    }
    ClearPreview();
    if (config.separateLog && !StaticText6->isHidden() && !config.logLoaded) {
        session().downloadLog();
        if (config.logLoaded) logDownloadDate = QDateTime::currentDateTimeUtc().date();
    }
    setView(View::Log);
    Button6->setText(tr2("Screen View", "Układ Ekranu"));
    LogsView();
}

bool TForm1::ConfirmClearLog(bool logKept) {
    const QString title = tr2("Confirm...", "Potwierdź...");
    QString text = tr2("WARNING !!!\r\nClearing the log erases every flight\r\nrecorded in the display !\r\n",
                       "UWAGA !!!\r\nKasowanie logów usuwa wszystkie loty\r\nzapisane w wyświetlaczu !\r\n");
    // A downloaded log is kept in the backups first; one never downloaded cannot be.
    if (!logKept)
        text += tr2("The log was not downloaded since the display was connected, so no copy is kept.\r\n",
                    "Logi nie zostały pobrane od podłączenia wyświetlacza, więc nie zostanie zachowana ich kopia.\r\n");
    text += tr2("\r\nClear the log in the display ?", "\r\nSkasować logi w wyświetlaczu ?");
    return dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) == MsgAnswer::Yes;
}

void TForm1::Button10Click() {
    FileDialogRequest request;
    request.filter = kLogFilter;
    request.defaultExtension = "txt";
    request.promptOverwrite = true;
    const FileDialogResult chosen = askSaveFile(request, fileDialogMemory, languagePolish);
    if (chosen.fileName.isEmpty()) return;
    // GPX needs a date: the download's, or today's for a log that was never downloaded.
    const QDate gpxDate = logDownloadDate.isValid() ? logDownloadDate : QDateTime::currentDateTimeUtc().date();
    const QByteArray bytes = ExportLog(logView.rows(), chosen.filterIndex, gpxDate);
    if (WriteFileOrReport(chosen.fileName, bytes, languagePolish)) fileDialogMemory.remember(request, chosen);
}

// The track window: the Track button, the double-click on a log row and the link
// between the log table's selection and the point marked on the track.
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
    if (trackWindow_) trackWindow_->follow(logView);
    trackWindow_->markRow(StringGrid2->currentRow());
    trackWindow_->raise();
    trackWindow_->activateWindow();
}
