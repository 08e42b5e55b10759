#include "widgets.h"

#include <QResizeEvent>

namespace vorkal {

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {}

void TRadioGroup::setItems(const QStringList& items) {
    const int keep = itemIndex_;
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setAutoExclusive(false);
        b->setFont(font());
        connect(b, &QRadioButton::clicked, this, [this, i] { onButtonClicked(i); });
        b->show();
        buttons_.push_back(b);
    }
    itemIndex_ = (keep >= 0 && keep < items.size()) ? keep : -1;
    for (int i = 0; i < count(); ++i) buttons_[size_t(i)]->setChecked(i == itemIndex_);
    arrange();
}

QStringList TRadioGroup::items() const {
    QStringList list;
    for (QRadioButton* b : buttons_) list << b->text();
    return list;
}

void TRadioGroup::setColumns(int columns) {
    columns_ = std::max(1, columns);
    arrange();
}

void TRadioGroup::setItemIndex(int index) {
    if (index < -1 || index >= count()) index = -1;
    itemIndex_ = index;
    for (int i = 0; i < count(); ++i) buttons_[size_t(i)]->setChecked(i == index);
    if (index >= 0) emit clicked();
}

void TRadioGroup::onButtonClicked(int i) {
    itemIndex_ = i;
    for (int k = 0; k < count(); ++k) buttons_[size_t(k)]->setChecked(k == i);
    emit clicked();
}

void TRadioGroup::resizeEvent(QResizeEvent* e) {
    QGroupBox::resizeEvent(e);
    arrange();
}

// Entries share the space below the caption evenly, column by column.
void TRadioGroup::arrange() {
    if (buttons_.empty()) return;
    const int rows = (count() + columns_ - 1) / columns_;
    const int top = 14, left = 8, bottom = 3;
    const int colWidth = (width() - left - 2) / columns_;
    const int rowHeight = std::max(1, (height() - top - bottom) / rows);
    for (int i = 0; i < count(); ++i) {
        const int col = i / rows, row = i % rows;
        buttons_[size_t(i)]->setGeometry(left + col * colWidth, top + row * rowHeight, colWidth,
                                         std::min(rowHeight, 17));
    }
}

TUpDown::TUpDown(QLineEdit* associate, QWidget* parent)
    : QWidget(parent), associate_(associate), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setFocusPolicy(Qt::NoFocus);
    down_->setFocusPolicy(Qt::NoFocus);
    connect(up_, &QToolButton::clicked, this, [this] { click(Direction::Up); });
    connect(down_, &QToolButton::clicked, this, [this] { click(Direction::Down); });
}

void TUpDown::setRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    if (position_ < min_ || position_ > max_) setPosition(position_);
}

void TUpDown::setPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    if (associate_) associate_->setText(QString::number(position_));
}

void TUpDown::click(Direction d) {
    setPosition(position_ + (d == Direction::Up ? 1 : -1));
    emit clicked(position_);
}

void TUpDown::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

void TComboBox::addSorted(const QString& text) {
    if (!sorted) {
        addItem(text);
        return;
    }
    int i = 0;
    while (i < count() && QString::compare(itemText(i), text, Qt::CaseInsensitive) <= 0) ++i;
    insertItem(i, text);
}

void TComboBox::showPopup() {
    emit dropDown();
    QComboBox::showPopup();
}

QPalette LightPalette() {
    const QColor face(0xF0, 0xF0, 0xF0);
    QPalette p;
    const struct {
        QPalette::ColorRole role;
        QColor colour;
    } roles[] = {
        {QPalette::Window, face},
        {QPalette::WindowText, Qt::black},
        {QPalette::Base, Qt::white},
        {QPalette::AlternateBase, QColor(0xF7, 0xF7, 0xF7)},
        {QPalette::Text, Qt::black},
        {QPalette::Button, face},
        {QPalette::ButtonText, Qt::black},
        {QPalette::BrightText, Qt::white},
        {QPalette::Light, Qt::white},
        {QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3)},
        {QPalette::Mid, QColor(0xA0, 0xA0, 0xA0)},
        {QPalette::Dark, QColor(0xA0, 0xA0, 0xA0)},
        {QPalette::Shadow, QColor(0x69, 0x69, 0x69)},
        {QPalette::Highlight, QColor(0x00, 0x78, 0xD7)},
        {QPalette::HighlightedText, Qt::white},
        {QPalette::Link, QColor(0x00, 0x00, 0xEE)},
        {QPalette::LinkVisited, QColor(0x55, 0x1A, 0x8B)},
        {QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xDC)},
        {QPalette::ToolTipText, Qt::black},
        {QPalette::PlaceholderText, QColor(0x6D, 0x6D, 0x6D)},
    };
    for (const auto& r : roles) p.setColor(r.role, r.colour);
    // Greyed texts of controls that are not available.
    const QColor greyed(0x78, 0x78, 0x78);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, greyed);
    p.setColor(QPalette::Disabled, QPalette::Base, face);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xA0, 0xA0, 0xA0));
    return p;
}

void UseLightPalette(QWidget* window) {
    window->setPalette(LightPalette());
    window->setAutoFillBackground(true);
}

}  // namespace vorkal
