#include "terminal_progress.h"

#include "trace_log.h"

#include <unistd.h>

#include <algorithm>

namespace vorkal::cli {

TerminalProgress::Style TerminalProgress::StyleFor(bool quiet, FILE* out) {
    if (quiet) return Style::Quiet;
    return isatty(fileno(out)) ? Style::Bar : Style::Lines;
}

void TerminalProgress::showProgress(int maximum) {
    maximum_ = std::max(maximum, 0);
    position_ = 0;
    lastPercent_ = -1;
    const bool wasShown = std::exchange(shown_, true);
    if (!wasShown) {
        clock_.start();
        if (onShow) onShow();
    }
    draw();
}

void TerminalProgress::hideProgress() {
    if (!shown_) return;
    shown_ = false;
    endBarLine();
}

void TerminalProgress::stepProgress() {
    if (position_ < maximum_) ++position_;
    draw();
}

void TerminalProgress::setProgressPosition(int position) {
    position_ = std::clamp(position, 0, maximum_);
    draw();
}

void TerminalProgress::setProgressCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    if (style_ == Style::Quiet || caption.isEmpty()) return;
    endBarLine();
    std::fprintf(out_, "%s\n", qPrintable(caption));
    std::fflush(out_);
}

void TerminalProgress::showMessage(const QString& text) {
    vorkal::TraceShown("message:", text);
    endBarLine();
    QString plain = text;
    if (noteAfterMessage)
        if (const QString note = noteAfterMessage(text); !note.isEmpty()) plain += "\n" + note;
    plain.replace("\r\n", "\n");
    std::fprintf(out_, "%s\n", qPrintable(plain.trimmed()));
    std::fflush(out_);
}

QString TerminalProgress::BarLine(int position, int maximum, int stepBytes, qint64 elapsedMs, int width,
                                  bool polish) {
    const double part = maximum > 0 ? double(position) / maximum : 0.0;
    const int filled = int(part * width);
    QString line = "[" + QString(filled, '#') + QString(width - filled, '.') + "]";
    line += QString(" %1%").arg(int(part * 100), 3);
    if (stepBytes > 0)
        line += (polish ? QString::fromUtf8("  %1/%2 bajtów") : QString("  %1/%2 bytes"))
                    .arg(qint64(position) * stepBytes)
                    .arg(qint64(maximum) * stepBytes);
    if (position > 0 && position < maximum) {
        const qint64 leftS = (elapsedMs * (maximum - position) / position + 999) / 1000;
        line += (polish ? QString::fromUtf8("  pozostało %1:%2") : QString("  %1:%2 left"))
                    .arg(leftS / 60)
                    .arg(leftS % 60, 2, 10, QChar('0'));
    }
    return line;
}

void TerminalProgress::draw() {
    if (!shown_ || style_ == Style::Quiet) return;
    if (style_ == Style::Lines) {
        // Every tenth: a log file gets a line a second or so, not hundreds.
        const int percent = maximum_ > 0 ? position_ * 10 / maximum_ * 10 : 0;
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        std::fprintf(out_, "%d%%\n", percent);
    } else {
        std::fprintf(out_, "\r%s", qPrintable(BarLine(position_, maximum_, stepBytes_, clock_.elapsed(), 30, polish_)));
        barOnScreen_ = true;
    }
    std::fflush(out_);
}

void TerminalProgress::endBarLine() {
    if (!barOnScreen_) return;
    barOnScreen_ = false;
    std::fprintf(out_, "\n");
    std::fflush(out_);
}

}  // namespace vorkal::cli

