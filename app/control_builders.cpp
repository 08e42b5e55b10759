#include "control_builders.h"

#include <QFontDatabase>

namespace vorkal {

QString familyFor(Face face) {
    static const QStringList installed = QFontDatabase::families();
    const QStringList wanted = face == Face::Narrow ? QStringList{"Liberation Sans Narrow", "Arial Narrow",
                                                                  "Liberation Sans", "Arimo", "Arial"}
                                                    : QStringList{"Liberation Sans", "Arimo", "Arial"};
    for (const QString& family : wanted)
        if (installed.contains(family)) return family;
    return "Sans Serif";
}

QFont uiFont(int pixelSize, bool bold, Face face) {
    QFont f(familyFor(face));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QPushButton* button(QWidget* parent, const QString& text, int l, int t, int w, int h) {
    auto* b = place(new QPushButton(text, parent), l, t, w, h);
    b->setAutoDefault(false);
    return b;
}

TStaticText* staticText(QWidget* parent, const QString& text, int l, int t, int w, int h, const QFont& font,
                        Qt::Alignment align) {
    auto* s = place(new TStaticText(text, parent), l, t, w, h);
    s->setFont(font);
    s->setAlignment(align);
    return s;
}

TComboBox* comboBox(QWidget* parent, bool editable, int l, int t, int w, int h) {
    auto* c = place(new TComboBox(parent), l, t, w, h);
    c->setEditable(editable);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

void HeldControls::hold(const std::vector<QWidget*>& controls) {
    held_.clear();
    for (QWidget* w : controls) {
        held_.emplace_back(w, !w->testAttribute(Qt::WA_ForceDisabled));
        w->setEnabled(false);
    }
}

void HeldControls::release(const std::function<bool(QWidget*)>& mayEnable) {
    for (const auto& [w, wasEnabled] : held_) w->setEnabled(wasEnabled && mayEnable(w));
    held_.clear();
}

void TransferHold::set(bool running, const std::function<bool(QWidget*)>& mayEnable) {
    if (running) held_.hold(controls);
    else held_.release(mayEnable);
}

}  // namespace vorkal
