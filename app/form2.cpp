#include "form2.h"

#include "dialogs.h"
#include "form1.h"

TForm2::TForm2(TForm1* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      owner_(owner) {
    setModal(false);
    setFixedSize(305, 69);
    setFont(owner->font());
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(8, 16, 289, 16);
    ProgressBar1->setRange(0, 20);
    ProgressBar1->setTextVisible(false);
    Button1 = new QPushButton("Cancel", this);
    Button1->setGeometry(112, 42, 75, 21);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

void TForm2::FormShow() {
    setWindowTitle(owner_->tr2("Transmission in progress...", "Trwa przesyłanie danych..."));
    Button1->setText(owner_->tr2("Cancel", "Anuluj"));
    ProgressBar1->setValue(0);
    if (onShow) onShow();
    if (!captionOverride.isEmpty()) setWindowTitle(captionOverride);
}

void TForm2::Button1Click() {
    if (onCancel) onCancel();
}

void TForm2::centre() {
    const QRect r = owner_->frameGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
}

void TForm2::StepIt() { ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum())); }

void TForm2::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

void TForm2::reject() {
    if (Button1->isEnabled()) Button1Click();
}

void TForm2::showProgress(int maximum) {
    ProgressBar1->setMaximum(std::max(maximum, 1));
    centre();
    show();
}

void TForm2::showMessage(const QString& text) { vorkal::dialogs().showMessage(QString(), text, vorkal::MsgIcon::None); }
