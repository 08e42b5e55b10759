#pragma once
// The progress window shared by every transfer: a bar and a Cancel button, on top of
// the main window, shown without blocking it.

#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

#include "progress_sink.h"

class TForm1;

class TForm2 : public QDialog, public vorkal::ProgressSink {
    Q_OBJECT
public:
    explicit TForm2(TForm1* owner);

    QProgressBar* ProgressBar1;
    QPushButton* Button1;

    // What Cancel does: set by the line protocol (the running exchange ends with "Canceled").
    std::function<void()> onCancel;
    // Run when the window is shown: clears the cancel flag of the line protocol.
    std::function<void()> onShow;
    // Replaces the caption each time the window is shown, while not empty: says why a
    // transfer runs that the user did not ask for.
    QString captionOverride;

    void FormShow();
    void Button1Click();
    // Centres the window on the main window.
    void centre();
    // Advances the bar by one step.
    void StepIt();

    // What the display session and the firmware update show.
    void showProgress(int maximum) override;
    void hideProgress() override { hide(); }
    void stepProgress() override { StepIt(); }
    int progressPosition() const override { return ProgressBar1->value(); }
    void setProgressPosition(int position) override { ProgressBar1->setValue(position); }
    void setProgressCaption(const QString& caption) override { setWindowTitle(caption); }
    void setCancelEnabled(bool enabled) override { Button1->setEnabled(enabled); }
    void showMessage(const QString& text) override;

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;  // Esc presses Cancel

private:
    TForm1* owner_;
};
