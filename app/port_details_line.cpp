#include "port_details_line.h"

#include <QAbstractItemView>
#include <QEvent>
#include <utility>

namespace vorkal {

namespace {

// Puts the highlighted port's description under the dropped-down list (a line of
// its own over the window, so no control moves) and gives the closed list a
// tooltip read at the moment it is asked for, so a latency changed by the open shows.
class PortDetailsFilter : public QObject {
public:
    PortDetailsFilter(QWidget* form, TComboBox* list, QLabel* line, std::function<QString(const QString&)> describe)
        : QObject(form), form_(form), list_(list), line_(line), popup_(list->view()->window()),
          describe_(std::move(describe)) {
        popup_->installEventFilter(this);
        list_->installEventFilter(this);
        connect(list_, &QComboBox::highlighted, line_, [this](int i) { line_->setText(entryText(i)); });
    }

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == popup_ && e->type() == QEvent::Show) {
            const int i = list_->currentIndex();
            line_->setText(entryText(i >= 0 ? i : 0));
            place();
        } else if (watched == popup_ && e->type() == QEvent::Hide) {
            line_->hide();
        } else if (watched == list_ && e->type() == QEvent::ToolTip) {
            const int i = list_->currentIndex();
            list_->setToolTip(describe_(i >= 0 ? list_->itemText(i) : QString()));
        }
        return false;
    }

private:
    QString entryText(int i) const { return list_->itemData(i, Qt::ToolTipRole).toString(); }

    void place() {
        if (line_->text().isEmpty()) {
            line_->hide();
            return;
        }
        const int width = form_->width() - 16;
        const int height = line_->heightForWidth(width);
        const QPoint below = form_->mapFromGlobal(popup_->geometry().bottomLeft()) + QPoint(0, 3);
        line_->setGeometry(8, std::clamp(below.y(), 0, form_->height() - height - 2), width, height);
        line_->show();
        line_->raise();
    }

    QWidget* form_;
    TComboBox* list_;
    QLabel* line_;
    QWidget* popup_;
    std::function<QString(const QString&)> describe_;
};

}  // namespace

QLabel* AttachPortDetailsLine(QWidget* form, TComboBox* list, std::function<QString(const QString&)> describe) {
    auto* line = new QLabel(form);
    line->setWordWrap(true);
    line->setFrameShape(QFrame::Box);
    line->setMargin(2);
    line->setAutoFillBackground(true);
    line->setBackgroundRole(QPalette::ToolTipBase);
    line->setForegroundRole(QPalette::ToolTipText);
    line->hide();
    new PortDetailsFilter(form, list, line, std::move(describe));
    return line;
}

}  // namespace vorkal
