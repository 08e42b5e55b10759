#include "track_window.h"

#include "dialogs.h"
#include "log_export.h"
#include "track_picture.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace vorkal {

namespace {
constexpr double kClickReach = 12;  // pixels from a track point that still pick it
}

TrackView::TrackView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 180);
    setCursor(Qt::CrossCursor);
}

void TrackView::setTrack(const ProjectedTrack& track) {
    track_ = track;
    cache_ = QImage();
    update();
}

void TrackView::setSelectedRow(int row) {
    if (row == selectedRow_) return;
    selectedRow_ = row;
    cache_ = QImage();
    update();
}

void TrackView::setPolish(bool polish) {
    polish_ = polish;
    cache_ = QImage();
    update();
}

QImage TrackView::picture() const {
    if (cache_.size() != size()) cache_ = DrawTrackPicture(track_, size(), selectedRow_, polish_);
    return cache_;
}

void TrackView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture());
}

void TrackView::resizeEvent(QResizeEvent* e) {
    cache_ = QImage();
    QWidget::resizeEvent(e);
}

void TrackView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !track_.hasPoints) return;
    const int row = NearestTrackRow(track_, TrackPictureFrame(track_, size()), e->position(), kClickReach);
    if (row >= 0) emit rowClicked(row);
}

TrackWindow::TrackWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    view = new TrackView(this);
    figures = new QTableWidget(0, 9, this);
    figures->verticalHeader()->hide();
    figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    figures->setSelectionBehavior(QAbstractItemView::SelectRows);
    figures->setSelectionMode(QAbstractItemView::SingleSelection);
    figures->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    figures->setMaximumHeight(150);
    saveButton = new QPushButton(this);
    closeButton = new QPushButton(this);
    saveButton->setAutoDefault(false);
    closeButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addWidget(figures);
    layout->addLayout(buttons);

    connect(view, &TrackView::rowClicked, this, &TrackWindow::rowChosen);
    connect(figures, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= 0 && row < flights_.size() && !flights_[row].rows.isEmpty())
            emit rowChosen(flights_[row].flight.firstRow);
    });
    connect(saveButton, &QPushButton::clicked, this, &TrackWindow::SavePictureClick);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    resize(680, 640);
    applyLanguageTexts();
}

void TrackWindow::setLog(const LogTableCells& cells, const QString& decimalSeparator) {
    flights_ = ReadLogFlights(cells);
    decimalSeparator_ = decimalSeparator;
    view->setTrack(ProjectFlights(flights_));
    fillFigures();
}

void TrackWindow::setPolish(bool polish) {
    polish_ = polish;
    view->setPolish(polish);
    applyLanguageTexts();
}

void TrackWindow::markRow(int row) { view->setSelectedRow(row); }

void TrackWindow::applyLanguageTexts() {
    setWindowTitle(polish_ ? QStringLiteral("Trasa lotu") : QStringLiteral("Flight track"));
    saveButton->setText(polish_ ? QStringLiteral("Zapisz jako PNG...") : QStringLiteral("Save as PNG..."));
    closeButton->setText(polish_ ? QStringLiteral("Zamknij") : QStringLiteral("Close"));
    figures->setHorizontalHeaderLabels(QStringList{polish_ ? QStringLiteral("Lot") : QStringLiteral("Flight")} +
                                       FlightFiguresHeader(polish_));
}

void TrackWindow::fillFigures() {
    figures->setRowCount(int(flights_.size()));
    for (int f = 0; f < flights_.size(); ++f) {
        auto* number = new QTableWidgetItem(QString::number(f + 1));
        number->setData(Qt::DecorationRole, FlightColour(f));  // the flight's colour on the track
        figures->setItem(f, 0, number);
        const QStringList cells = FormatFlightFigures(ComputeFlightFigures(flights_[f]), decimalSeparator_);
        for (int c = 0; c < cells.size(); ++c) figures->setItem(f, c + 1, new QTableWidgetItem(cells[c]));
    }
}

void TrackWindow::SavePictureClick() {
    FileDialogRequest request;
    request.filter = QStringLiteral("PNG image (*.png)|*.png");
    request.defaultExtension = QStringLiteral("png");
    request.promptOverwrite = true;
    const FileDialogResult chosen = askSaveFile(request, pictureDialog_, polish_);
    if (chosen.fileName.isEmpty()) return;
    // Encoded in memory first, so the file is written whole or not at all.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !view->picture().save(&buffer, "PNG")) {
        showFileError(chosen.fileName,
                      polish_ ? QString::fromUtf8("Nie udało się zakodować obrazu PNG.")
                              : QStringLiteral("The picture could not be encoded as PNG."),
                      true, polish_);
        return;
    }
    WriteFileOrReport(chosen.fileName, png, polish_);
}

}  // namespace vorkal
