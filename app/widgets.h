#pragma once
// Small controls with the behaviour the window relies on: radio groups whose
// programmatic selection fires their click, spinners tied to an edit, a combo box that
// announces its drop-down.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>
#include <vector>

namespace vorkal {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    void setItems(const QStringList& items);
    QStringList items() const;
    int count() const { return int(buttons_.size()); }
    void setColumns(int columns);
    int itemIndex() const { return itemIndex_; }
    // Selecting an entry (>= 0) runs the click handler, as a user click does.
    void setItemIndex(int index);
    QRadioButton* button(int i) const { return buttons_.at(size_t(i)); }

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void arrange();
    void onButtonClicked(int i);
    std::vector<QRadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
};

// Up-down spinner tied to an edit: position within min..max, no wrap.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    enum class Direction { Up, Down };
    TUpDown(QLineEdit* associate, QWidget* parent = nullptr);
    void setRange(int min, int max);
    int min() const { return min_; }
    int max() const { return max_; }
    void setMax(int max) { setRange(min_, max); }
    int position() const { return position_; }
    // Sets the position (clamped) and the edit's text; no click event.
    void setPosition(int position);
    // What a click on the arrow does: step, update the edit, then the click event.
    void click(Direction d);

signals:
    void clicked(int newPosition);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QLineEdit* associate_;
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0, max_ = 100, position_ = 0;
};

class TComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    bool sorted = false;
    // Adds an entry, keeping text order when the list is sorted.
    void addSorted(const QString& text);
    void showPopup() override;

signals:
    void dropDown();
};

// The program's own light colours for every palette role, text and background alike.
// The window is drawn to a fixed pixel layout around a preview that shows the display's
// monochrome picture in fixed colours, and its status texts have colours of their own;
// taking only some colours from a desktop palette (a dark one, say) would put light text
// on the light faces. Message boxes and file dialogs still follow the desktop.
QPalette LightPalette();
// Gives `window` the light palette; its child widgets take it over, and a palette the
// desktop sets later does not change it.
void UseLightPalette(QWidget* window);

// Static text: a fixed-size label.
class TStaticText : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

}  // namespace vorkal
