// Flight log: the switch between screen and log view with the download, the log table
// and its export.

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QStyledItemDelegate>

#include "dialogs.h"
#include "display_session.h"
#include "form1.h"
#include "form2.h"
#include "log_export.h"
#include "log_record.h"
#include "log_table.h"

using namespace vorkal;

namespace {

// Paints the log table's cells through the window's draw handler.
class LogCellDelegate : public QStyledItemDelegate {
public:
    explicit LogCellDelegate(TForm1* form) : QStyledItemDelegate(form->StringGrid2), form_(form) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        if (index.row() == 0) {
            painter->setBrush(QColor(0xF0, 0xF0, 0xF0));  // fixed header row
            painter->setPen(Qt::black);
        } else if (selected) {
            painter->setBrush(option.palette.highlight());
            painter->setPen(option.palette.highlightedText().color());
        } else {
            painter->setBrush(Qt::white);
            painter->setPen(Qt::black);
        }
        form_->StringGrid2DrawCell(index.column(), index.row(), painter, option.rect);
        painter->restore();
    }

private:
    TForm1* form_;
};

}  // namespace

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
    if (!logDelegateInstalled_) {
        StringGrid2->setItemDelegate(new LogCellDelegate(this));
        logDelegateInstalled_ = true;
    }
    QByteArray source = logTableSource();
    if (source == shownLogTableSource_) {
        refreshTrackWindow();
        return;
    }
    shownLogTableSource_ = std::move(source);
    const LogTableCells cells = BuildLogTable(config, languagePolish, QLocale::system().decimalPoint());
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
    refreshTrackWindow();
}

QByteArray TForm1::logTableSource() const {
    const LogSource source = SelectLogSource(config);
    QByteArray key;
    key.append(char(config.is128x64())).append(char(config.separateLog)).append(char(languagePolish));
    key.append(QLocale::system().decimalPoint().toUtf8()).append('\0');
    // The log memory, or the settings image whose header also says how many records it holds.
    key.append(reinterpret_cast<const char*>(source.data),
               source.inImage ? qsizetype(config.image.size()) : qsizetype(config.logImage.size()));
    return key;
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

bool TForm1::ConfirmClearLog() {
    const QString title = tr2("Confirm...", "Potwierdź...");
    const QString text =
        tr2("WARNING !!!\r\nClearing the log erases every flight\r\nrecorded in the display !\r\n\r\n"
            "Clear the log in the display ?",
            "UWAGA !!!\r\nKasowanie logów usuwa wszystkie loty\r\nzapisane w wyświetlaczu !\r\n\r\n"
            "Skasować logi w wyświetlaczu ?");
    return dialogs().askYesNo(title, text, MsgIcon::Warning, MsgAnswer::No) == MsgAnswer::Yes;
}

// The table exactly as shown, header row included.
LogTableCells TForm1::logTableCells() const {
    LogTableCells cells;
    for (int r = 0; r < StringGrid2->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < StringGrid2->columnCount(); ++c) {
            const QTableWidgetItem* item = StringGrid2->item(r, c);
            row << (item ? item->text() : QString());
        }
        cells << row;
    }
    return cells;
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
    const QByteArray bytes = ExportLog(logTableCells(), chosen.filterIndex, gpxDate);
    WriteFileOrReport(chosen.fileName, bytes, languagePolish);
}
