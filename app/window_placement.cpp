#include "window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace vorkal {

namespace {

class ScreenFit : public QObject {
public:
    ScreenFit(QWidget* window, std::optional<QPoint> wanted) : QObject(window), window_(window), wanted_(wanted) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != window_) return false;
        if (e->type() == QEvent::Show && !shown_) {
            shown_ = true;
            fit();
        } else if (shown_ &&
                   (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::WindowActivate) &&
                   window_->frameGeometry() != window_->geometry()) {
            // The frame's real size is known now. Until the framed window is wholly on the
            // screen, move it and look again at the move that follows; then the user's.
            // A window larger than the screen stays where it was last put.
            if (onScreen() || !fit()) {
                window_->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

private:
    // The frame around the client area: the real one once framed, else a title bar and
    // thin borders as a guess.
    QMargins frameMargins() const {
        const QRect frame = window_->frameGeometry(), client = window_->geometry();
        if (frame != client)
            return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom()};
        const int border = 4;
        return {border, window_->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border};
    }

    bool onScreen() const {
        const QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
        return !screen || screen->availableGeometry().contains(window_->frameGeometry());
    }

    // Whether it moved or resized the window.
    bool fit() {
        QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
        if (!screen) return false;
        const QRect area = screen->availableGeometry();
        const QMargins m = frameMargins();
        // Smaller where the window allows it.
        const QSize room(area.width() - m.left() - m.right(), area.height() - m.top() - m.bottom());
        const QSize size = window_->size();
        const QSize fitted(std::max(std::min(size.width(), room.width()), window_->minimumWidth()),
                           std::max(std::min(size.height(), room.height()), window_->minimumHeight()));
        if (fitted != size) window_->resize(fitted);
        const QSize frame = fitted.grownBy(m);
        const QPoint from = wanted_ ? *wanted_ : window_->frameGeometry().topLeft();
        // The nearest place that fits; the top-left corner wins when nothing fits.
        const QPoint at(std::max(std::min(from.x(), area.right() + 1 - frame.width()), area.left()),
                        std::max(std::min(from.y(), area.bottom() + 1 - frame.height()), area.top()));
        const bool moved = at != window_->frameGeometry().topLeft();
        if (moved) window_->move(at);
        return moved || fitted != size;
    }

    QWidget* window_;
    std::optional<QPoint> wanted_;
    bool shown_ = false;
};

}  // namespace

void KeepOnScreen(QWidget* window, std::optional<QPoint> wanted) { new ScreenFit(window, wanted); }

}  // namespace vorkal
