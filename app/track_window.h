#pragma once
// The track window: the picture of the downloaded log's flights and a row of figures per
// flight. It follows the main window's log table: a row chosen there is marked on the
// track, and a click near the track asks for the nearest row to be chosen.

#include "dialogs.h"
#include "log_flights.h"
#include "log_view_model.h"

#include <QAbstractTableModel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

namespace vorkal {

class TrackView : public QWidget {
    Q_OBJECT
public:
    explicit TrackView(QWidget* parent = nullptr);
    void setTrack(const ProjectedTrack& track);
    void setSelectedRow(int row);
    void setPolish(bool polish);
    int selectedRow() const { return selectedRow_; }
    // The picture as shown at the widget's current size.
    QImage picture() const;
    QSize sizeHint() const override { return {560, 420}; }

signals:
    // A click within reach of a track point: that point's table row.
    void rowClicked(int row);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    const QImage& basePicture() const;

    ProjectedTrack track_;
    int selectedRow_ = -1;
    bool polish_ = false;
    // The picture without the selection mark, redrawn only when the track, the language
    // or the size changes: choosing rows one after another paints only the mark anew.
    mutable QImage base_;
};

// The figures table's rows: the flight's number (with its track colour) and its figures,
// formatted once per log rather than on every look at a cell.
class FlightFiguresModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRows(QList<QStringList> rows);
    void setHeader(const QStringList& header);
    const QList<QStringList>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<QStringList> rows_;
    QStringList header_;
};

class TrackWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrackWindow(QWidget* parent = nullptr);
    // Rebuilds the picture and the figures from the log view's flights.
    void setLog(const LogViewModel& log);
    // While shown: rebuilds them only when the log view did since (a Receive that left
    // the log alone draws nothing anew).
    void follow(const LogViewModel& log);
    void setPolish(bool polish);
    // Marks a table row on the track (nothing when the row has no point).
    void markRow(int row);
    int flightCount() const { return int(flights_.size()); }
    // Asks for a file name and saves the picture as PNG.
    void SavePictureClick();

    TrackView* view;
    QTableView* figures;  // one row per flight
    FlightFiguresModel* figuresModel;
    QPushButton* saveButton;
    QPushButton* closeButton;

signals:
    // The user picked a point or a flight: the table row to select.
    void rowChosen(int row);

private:
    void applyLanguageTexts();
    void fillFigures();
    void fitFigureColumns();

    QList<FlightRows> flights_;
    QList<FlightFigures> figures_;
    QString decimalSeparator_ = QStringLiteral(".");
    bool polish_ = false;
    int logRevision_ = -1;            // the log view revision shown
    FileDialogMemory pictureDialog_;  // where the picture was last saved, for the run
};

}  // namespace vorkal
