#pragma once
// The progress window shared by every transfer: a bar and a Cancel button, on top of
// the main window, shown without blocking it.

#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm1* owner);

    QProgressBar* ProgressBar1;
    QPushButton* Button1;

    // What Cancel does: set by the line protocol (the running exchange ends with "Canceled").
    std::function<void()> onCancel;
    // Run when the window is shown: clears the cancel flag of the line protocol.
    std::function<void()> onShow;

    void FormShow();
    void Button1Click();
    // Centres the window on the main window.
    void centre();
    // Advances the bar by one step.
    void StepIt();

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;  // Esc presses Cancel

private:
    TForm1* owner_;
};
