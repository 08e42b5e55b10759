#pragma once
// The port list of the main window: the COM ports present now, each with its device
// and adapter as tool tip, and the port that Open will use. A remembered port that is
// not present is shown with a mark (not as an entry), so that it stays the one Open
// uses until another is chosen.

#include <QString>

namespace vorkal {

class TComboBox;

class PortList {
public:
    explicit PortList(TComboBox* box) : box_(box) {}

    // Lists the ports present now and keeps showing what was shown: the chosen port
    // when it is still listed, else the text; `remembered` is chosen again when it came
    // back since it was shown as absent.
    void refill(int remembered, bool polish);
    // As refill, when the ports present differ from the entries (a port came or went);
    // otherwise the list, and a drop-down the user has open, stay as they are.
    void refillIfChanged(int remembered, bool polish);
    // Chooses the entry of COM<port>, if there is one.
    void select(int port);
    // No entry chosen: the port Open will use (marked absent), or a request to choose.
    void showPortOpenWillUse(int remembered, bool polish);
    // The port Open uses after the user's choice: the chosen entry's number (0 for none),
    // or `remembered` while it is shown as absent.
    int chosenPort(int remembered) const;
    // Why the remembered port is marked, in words; empty while it is not.
    QString absentHint(int remembered, bool polish) const;

    // The device and adapter behind the entry's port; empty when gone.
    static QString describe(const QString& entry, bool polish);
    // The text for COM<port> when Open will use it but it is not present (a mark).
    static QString absentText(int port);
    // The number after "COM": up to four characters from the fourth on; 0 when none.
    static int numberOfEntry(const QString& text);

private:
    bool showsAbsent(int remembered) const;

    TComboBox* box_;
};

}  // namespace vorkal
