#include "port_list.h"

#include "af_port_map.h"
#include "port_details.h"
#include "widgets.h"

namespace vorkal {

namespace {

int ComNumberOfName(const QString& name) { return name.mid(3).toInt(); }

}  // namespace

void PortList::refill(int remembered, bool polish) {
    const QString text = box_->currentText();
    const int wasSelected = box_->currentIndex();
    const QString selectedText = wasSelected >= 0 ? box_->itemText(wasSelected) : QString();
    box_->clear();
    for (const QString& name : ListComPortNames()) box_->addSorted(name);
    for (int i = 0; i < box_->count(); ++i) box_->setItemData(i, describe(box_->itemText(i), polish), Qt::ToolTipRole);
    const int again = selectedText.isEmpty() ? -1 : box_->findText(selectedText);
    box_->setCurrentIndex(again);
    if (again >= 0) return;
    box_->setEditText(text);
    // The chosen port went away: it stays the one Open uses, shown with the mark.
    if (text == absentText(remembered) || (remembered > 0 && numberOfEntry(selectedText) == remembered)) {
        select(remembered);
        showPortOpenWillUse(remembered, polish);
    }
}

void PortList::refillIfChanged(int remembered, bool polish) {
    QStringList present = ListComPortNames();
    QStringList entries;
    for (int i = 0; i < box_->count(); ++i) entries << box_->itemText(i);
    present.sort();
    entries.sort();
    if (present != entries) refill(remembered, polish);
}

void PortList::select(int port) {
    // The first entry whose number starts right after "COM" and ends there: COM71 is not
    // the entry of port 7, and showing it would name another port than Open uses.
    const QString digits = QString::number(port);
    for (int i = 0; i < box_->count(); ++i) {
        const QString text = box_->itemText(i);
        const int end = 3 + int(digits.size());
        if (text.indexOf(digits) == 3 && !(end < text.size() && text[end].isDigit())) {
            box_->setCurrentIndex(i);
            break;
        }
    }
}

void PortList::showPortOpenWillUse(int remembered, bool polish) {
    if (box_->currentIndex() >= 0) return;
    box_->setEditText(remembered > 0 ? absentText(remembered)
                                     : (polish ? QString::fromUtf8("Wybierz...") : QString("Select...")));
}

bool PortList::showsAbsent(int remembered) const {
    return box_->currentIndex() < 0 && remembered > 0 && box_->currentText() == absentText(remembered);
}

int PortList::chosenPort(int remembered) const {
    if (showsAbsent(remembered)) return remembered;
    const int i = box_->currentIndex();
    return numberOfEntry(i >= 0 ? box_->itemText(i) : QString());
}

QString PortList::absentHint(int remembered, bool polish) const {
    if (!showsAbsent(remembered)) return QString();
    return (polish ? QString::fromUtf8("COM%1, port używany przez Otwórz, nie jest teraz dostępny.\n"
                                       "Podłącz go lub wybierz inny port.")
                   : QString("COM%1, the port Open uses, is not present now.\nConnect it, or choose another port."))
        .arg(remembered);
}

QString PortList::describe(const QString& entry, bool polish) {
    return DescribeComPort(ComNumberOfName(entry), polish);
}

QString PortList::absentText(int port) {
    // The list has room for "COM99" and one mark; its tool tip says in words what it means.
    return port > 0 ? QString("COM%1 ?").arg(port) : QString();
}

int PortList::numberOfEntry(const QString& text) {
    bool ok = false;
    const int n = text.mid(3, 4).toInt(&ok);
    return ok && n > 0 ? n : 0;
}

}  // namespace vorkal
