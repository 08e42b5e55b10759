#pragma once
// Small builders for the main window's controls: the interface fonts and controls
// placed at fixed pixel positions, as the window was laid out.

#include <QFont>
#include <QPushButton>
#include <functional>
#include <initializer_list>
#include <vector>

#include "widgets.h"

namespace vorkal {

// The window was laid out, pixel by pixel, for a narrow sans-serif face and for Arial.
// Liberation Sans has Arial's metrics, so the texts fit their controls as drawn; its
// Narrow cut serves the log table's narrow columns. Another sans-serif face stands in
// when they are missing.
enum class Face { Interface, Narrow };

QString familyFor(Face face);
QFont uiFont(int pixelSize, bool bold = false, Face face = Face::Interface);

template <class W>
W* place(W* w, int left, int top, int width, int height) {
    w->setGeometry(left, top, width, height);
    return w;
}

QPushButton* button(QWidget* parent, const QString& text, int l, int t, int w, int h);
TStaticText* staticText(QWidget* parent, const QString& text, int l, int t, int w, int h, const QFont& font,
                        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
TComboBox* comboBox(QWidget* parent, bool editable, int l, int t, int w, int h);

// Disables controls for a while and gives each back the state it had.
class HeldControls {
public:
    void hold(const std::vector<QWidget*>& controls);
    // Enables again what was enabled before, where `mayEnable` agrees.
    void release(const std::function<bool(QWidget*)>& mayEnable);

private:
    std::vector<std::pair<QWidget*, bool>> held_;
};

// The controls that would start another action or change the image, disabled while a
// transfer runs. The groups are disabled as a whole: their controls keep the states that
// the port and the status poll give them, and show those again when the group is enabled.
class TransferHold {
public:
    std::vector<QWidget*> controls;  // set once the window has built them
    // Holds them, or gives them back where `mayEnable` agrees.
    void set(bool running, const std::function<bool(QWidget*)>& mayEnable);

private:
    HeldControls held_;
};

}  // namespace vorkal
