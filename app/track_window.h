#pragma once
// The track window: the picture of the downloaded log's flights and a row of figures per
// flight. It follows the main window's log table: a row chosen there is marked on the
// track, and a click near the track asks for the nearest row to be chosen.

#include "dialogs.h"
#include "log_flights.h"
#include "log_view_model.h"

#include <QPushButton>
#include <QTableWidget>
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
    ProjectedTrack track_;
    int selectedRow_ = -1;
    bool polish_ = false;
    mutable QImage cache_;  // redrawn when the track, the selection or the size changes
};

class TrackWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrackWindow(QWidget* parent = nullptr);
    // Rebuilds the picture and the figures from the log view's flights.
    void setLog(const LogViewModel& log);
    void setPolish(bool polish);
    // Marks a table row on the track (nothing when the row has no point).
    void markRow(int row);
    int flightCount() const { return int(flights_.size()); }
    // Asks for a file name and saves the picture as PNG.
    void SavePictureClick();

    TrackView* view;
    QTableWidget* figures;  // one row per flight
    QPushButton* saveButton;
    QPushButton* closeButton;

signals:
    // The user picked a point or a flight: the table row to select.
    void rowChosen(int row);

private:
    void applyLanguageTexts();
    void fillFigures();

    QList<FlightRows> flights_;
    QList<FlightFigures> figures_;
    QString decimalSeparator_ = QStringLiteral(".");
    bool polish_ = false;
    FileDialogMemory pictureDialog_;  // where the picture was last saved, for the run
};

}  // namespace vorkal
