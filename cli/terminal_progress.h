#pragma once
// The progress window on a terminal: a bar with percent, bytes and time left when
// standard error is a terminal, a line per percent otherwise, nothing when quiet.
// Messages (the window's message boxes) are printed on standard error.

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <functional>

#include "progress_sink.h"

namespace vorkal::cli {

class TerminalProgress : public ProgressSink {
public:
    enum class Style { Bar, Lines, Quiet };
    TerminalProgress(Style style, FILE* out = stderr) : style_(style), out_(out) {}
    static Style StyleFor(bool quiet, FILE* out = stderr);

    // Called when the progress is shown, as the window's progress window does on show.
    std::function<void()> onShow;
    // Called when the running step lets itself be cancelled or no longer does.
    std::function<void(bool)> onCancelEnabled;
    // Says after `text` what a message written for the window means on a terminal (a
    // line of its own), or nothing.
    std::function<QString(const QString& text)> noteAfterMessage;
    void setPolish(bool polish) { polish_ = polish; }
    // Bytes one step of the bar stands for; 0 shows no byte count.
    void setStepBytes(int bytes) { stepBytes_ = bytes; }

    void showProgress(int maximum) override;
    void hideProgress() override;
    void stepProgress() override;
    int progressPosition() const override { return position_; }
    void setProgressPosition(int position) override;
    void setProgressCaption(const QString& caption) override;
    void setCancelEnabled(bool enabled) override {
        if (onCancelEnabled) onCancelEnabled(enabled);
    }
    void showMessage(const QString& text) override;

    // The line the bar shows at `position` of `maximum` after `elapsedMs`.
    static QString BarLine(int position, int maximum, int stepBytes, qint64 elapsedMs, int width = 30,
                           bool polish = false);

private:
    void draw();
    void endBarLine();

    Style style_;
    FILE* out_;
    bool polish_ = false;
    bool shown_ = false;
    bool barOnScreen_ = false;
    int maximum_ = 0;
    int position_ = 0;
    int stepBytes_ = 0;
    int lastPercent_ = -1;
    QString caption_;
    QElapsedTimer clock_;
};

}  // namespace vorkal::cli
