#include "track_window.h"
#include "window_placement.h"

#include "dialogs.h"
#include "log_export.h"
#include "track_picture.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <array>

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
    base_ = QImage();
    update();
}

void TrackView::setSelectedRow(int row) {
    if (row == selectedRow_) return;
    selectedRow_ = row;
    update();
}

void TrackView::setPolish(bool polish) {
    if (polish == polish_) return;
    polish_ = polish;
    base_ = QImage();
    update();
}

const QImage& TrackView::basePicture() const {
    if (base_.size() != size()) base_ = DrawTrackPicture(track_, size(), -1, polish_);
    return base_;
}

QImage TrackView::picture() const {
    QImage image = basePicture();
    QPainter p(&image);
    MarkTrackRow(p, track_, size(), selectedRow_);
    return image;
}

void TrackView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, basePicture());
    MarkTrackRow(p, track_, size(), selectedRow_);
}

void TrackView::resizeEvent(QResizeEvent* e) {
    base_ = QImage();
    QWidget::resizeEvent(e);
}

void TrackView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !track_.hasPoints) return;
    const int row = NearestTrackRow(track_, TrackPictureFrame(track_, size()), e->position(), kClickReach);
    if (row >= 0) emit rowClicked(row);
}

TrackWindow::TrackWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    view = new TrackView(this);
    figures = new QTableView(this);
    figuresModel = new FlightFiguresModel(figures);
    figures->setModel(figuresModel);
    figures->verticalHeader()->hide();
    figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    figures->setSelectionBehavior(QAbstractItemView::SelectRows);
    figures->setSelectionMode(QAbstractItemView::SingleSelection);
    // Widths come from fitFigureColumns once per fill: a header that sized itself to its
    // contents would measure every row again on every change.
    figures->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    figures->setWordWrap(false);
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
    connect(figures, &QTableView::clicked, this, [this](const QModelIndex& index) {
        const int row = index.row();
        if (row >= 0 && row < flights_.size() && !flights_[row].rows.isEmpty())
            emit rowChosen(flights_[row].flight.firstRow);
    });
    connect(saveButton, &QPushButton::clicked, this, &TrackWindow::SavePictureClick);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    resize(680, 640);
    KeepOnScreen(this);  // smaller on a screen that has no room for that
    applyLanguageTexts();
}

void TrackWindow::follow(const LogViewModel& log) {
    if (isVisible() && logRevision_ != log.revision()) setLog(log);
}

void TrackWindow::setLog(const LogViewModel& log) {
    logRevision_ = log.revision();
    flights_ = log.flights();
    figures_ = log.figures();
    decimalSeparator_ = log.decimalSeparator();
    view->setTrack(ProjectFlights(flights_));
    fillFigures();
}

void TrackWindow::setPolish(bool polish) {
    if (polish == polish_) return;  // the Track button sets it on every click
    polish_ = polish;
    view->setPolish(polish);
    applyLanguageTexts();
}

void TrackWindow::markRow(int row) { view->setSelectedRow(row); }

void TrackWindow::applyLanguageTexts() {
    setWindowTitle(polish_ ? QStringLiteral("Trasa lotu") : QStringLiteral("Flight track"));
    saveButton->setText(polish_ ? QStringLiteral("Zapisz jako PNG...") : QStringLiteral("Save as PNG..."));
    closeButton->setText(polish_ ? QStringLiteral("Zamknij") : QStringLiteral("Close"));
    figuresModel->setHeader(QStringList{polish_ ? QStringLiteral("Lot") : QStringLiteral("Flight")} +
                            FlightFiguresHeader(polish_));
    fitFigureColumns();
}

void TrackWindow::fillFigures() {
    QList<QStringList> rows;
    rows.reserve(flights_.size());
    for (int f = 0; f < flights_.size(); ++f) {
        QStringList row{QString::number(f + 1)};
        row += FormatFlightFigures(figures_[f], decimalSeparator_);
        rows.append(std::move(row));
    }
    figuresModel->setRows(std::move(rows));
    fitFigureColumns();
}

// Each column as wide as its header or its widest text. Measuring thousands of texts
// through the font's shaping costs more than the rest of a fill together, so a text's width
// is estimated from the advances of its characters (digits, units and signs, without
// kerning to speak of), and only the widest cell of a column goes through the view's own
// size hint, which adds the padding and the colour mark. A few pixels more absorb what the
// estimate misses, so that no text is cut short.
void TrackWindow::fitFigureColumns() {
    const QFontMetrics metrics(figures->font());
    std::array<int, 128> advance{};
    for (int c = 0; c < 128; ++c) advance[size_t(c)] = metrics.horizontalAdvance(QChar(c));
    const int wide = metrics.horizontalAdvance(QLatin1Char('W'));
    auto estimate = [&](const QString& text) {
        int width = 0;
        for (QChar ch : text) width += ch.unicode() < 128 ? advance[ch.unicode()] : wide;
        return width;
    };
    constexpr int kSlack = 4;
    const QList<QStringList>& rows = figuresModel->rows();
    QHeaderView* header = figures->horizontalHeader();
    for (int c = 0; c < figuresModel->columnCount(); ++c) {
        int widestRow = -1, widest = -1;
        for (int r = 0; r < rows.size(); ++r) {
            const int width = estimate(rows[r].value(c));
            if (width > widest) widest = width, widestRow = r;
        }
        int width = header->sectionSizeHint(c);
        if (widestRow >= 0)
            width = std::max(width, figures->sizeHintForIndex(figuresModel->index(widestRow, c)).width() +
                                        (figures->showGrid() ? 1 : 0) + kSlack);
        header->resizeSection(c, width);
    }
}

void FlightFiguresModel::setRows(QList<QStringList> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void FlightFiguresModel::setHeader(const QStringList& header) {
    header_ = header;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int FlightFiguresModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int FlightFiguresModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 9; }

QVariant FlightFiguresModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    if (role == Qt::DisplayRole) return rows_[index.row()].value(index.column());
    // The flight's colour on the track beside its number.
    if (role == Qt::DecorationRole && index.column() == 0) return FlightColour(index.row());
    return {};
}

QVariant FlightFiguresModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return header_.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
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
    if (WriteFileOrReport(chosen.fileName, png, polish_)) pictureDialog_.remember(request, chosen);
}

}  // namespace vorkal
