#pragma once
// The main window, a view: it owns the controls and keeps the handler names the program
// is written against, short and forwarding to the models (edited configuration, display
// session, backup keeper, log view, firmware update). form1_ui.cpp builds the controls;
// the other form1_*.cpp files hold the handlers by subsystem.

#include <QCheckBox>
#include <QDate>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "dialogs.h"
#include "display_backup_keeper.h"
#include "edited_configuration.h"
#include "element_controls.h"
#include "layout_selector.h"
#include "control_builders.h"
#include "log_view_model.h"
#include "preview_canvas.h"
#include "widgets.h"

class TForm2;
class TAfComPort;
class QAction;

namespace vorkal {
class PreviewGrid;
class BytePort;
class CloseGuard;
class PortList;
class DisplaySession;
class FirmwareUpdate;
class TrackWindow;
class PutAwayNoteLabel;
}  // namespace vorkal
class PortWatch;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Models and shared program state ---------------------------------------------
    vorkal::EditedConfiguration edits;  // the image, its undo history and saved state
    vorkal::ConfigImage& config = edits.image();
    vorkal::LogViewModel logView;  // the log table's rows, the flights and their figures
    vorkal::DisplayBackupKeeper& backups() { return *backups_; }
    vorkal::DisplaySession& session() { return *session_; }
    vorkal::FirmwareUpdate& firmwareUpdate() { return *firmwareUpdate_; }
    bool languagePolish = false;  // false = English, true = Polish
    int selectedPort = 0;         // n of COMn used by Open; 0 = none
    TForm2* Form2 = nullptr;      // progress window, created hidden with the main window
    QString tr2(const QString& english, const QString& polish) const { return languagePolish ? polish : english; }

    // ---- Controls (back to front) ---------------------------------------------------
    QFrame* Shape1;
    vorkal::PreviewGrid* StringGrid1;  // the preview
    QTableWidget* StringGrid2;         // the log table
    QGroupBox *GroupBox6, *GroupBox7, *GroupBox2, *GroupBox4, *GroupBox1, *GroupBox3, *GroupBox5;
    vorkal::TStaticText *StaticText1, *StaticText2, *StaticText3, *StaticText4, *StaticText5, *StaticText6;
    // Load Defaults, Set Baud, Firmware Update, Receive, Send, Import, Export, Open/Close,
    // Logs View, Clear Log In display, Save To File, Track
    QPushButton *Button7, *Button8, *Button11, *Button3, *Button4, *Button1, *Button2, *Button5, *Button6, *Button9,
        *Button10, *TrackButton;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4;  // X, Y, length, height
    vorkal::TUpDown *UpDown1, *UpDown2, *UpDown3, *UpDown4;
    vorkal::TRadioGroup *RadioGroup1, *RadioGroup2, *RadioGroup3, *RadioGroup6;  // font, align, layout, language
    QCheckBox *CheckBox1, *CheckBox2;
    vorkal::TComboBox *ComboBox1, *ComboBox2, *ComboBox3, *ComboBox4;  // element, PC speed, display speed, port
    QLabel* PortDetailsLine = nullptr;  // the highlighted port's description under the dropped-down list
    QTimer *Timer1, *Timer2;            // the session's reply timer of the line protocol and status poll
    QAction *undoAction = nullptr, *redoAction = nullptr;  // Ctrl+Z; Ctrl+Shift+Z and Ctrl+Y

    // ---- Shell ----------------------------------------------------------------------
    void FormShow();
    void RadioGroup6Click();
    void ComboBox4DropDown();
    QString absentPortHint() const;  // why the port Open uses is marked absent; empty while it is not
    void SetDisplay84x48();
    void SetDisplay128x64();
    // The display answered as the other variant: the window follows it. A configuration
    // shown then cannot go to this display: it is put away (one undo step, image bytes
    // untouched) and the start view asks for Receive.
    void FollowDisplayVariant(vorkal::DisplayVariant v);
    vorkal::PutAwayNoteLabel* PutAwayNote = nullptr;  // over the blank preview while a configuration is put away
    enum class View { Start, Screen, Log };           // the start view holds until a configuration is shown
    View view() const { return view_; }
    void setView(View v);

    // ---- Preview and layout editor ----------------------------------------------------
    void UpdateGrid();
    void ClearPreview();
    vorkal::PreviewCanvas previewCanvas;  // the preview's pixels, painted by StringGrid1
    void ShowLoadedConfiguration();
    void ApplyLayoutHeader();
    void LoadElementControls();
    void ComboBox1Change();
    void CheckBox1Click();
    void CheckBox2Click();
    void RadioGroup1Click();
    void RadioGroup2Click();
    void RadioGroup3Click();
    bool Edit1KeyPress(QLineEdit* edit, QChar key);  // false: key rejected
    void Edit1Exit();
    void Edit2Exit();
    void Edit3Exit();
    void Edit4Exit();
    void UpDown1Click(int position);
    void UpDown2Click(int position);
    void UpDown3Click(int position);
    void UpDown4Click(int position);
    void StringGrid1MouseDown(Qt::MouseButton button, int x, int y);
    void StringGrid1MouseMove(int x, int y);
    void StringGrid1MouseUp(Qt::MouseButton button, int x, int y);
    void ShowLayoutOnDisplay();  // tells a connected display to show the selected layout
    // The controls of the selected entry and the preview as the image is now (a blank
    // preview while no configuration is shown): every way out of an action that may
    // have left them behind the image.
    void ShowImageAsItIs();

    // ---- Edit history, keyboard and context menu --------------------------------------
    void UndoEdit();  // nothing is sent to the display
    void RedoEdit();
    bool mayDropUnsavedChanges();                                    // asks first when there are unsaved changes
    bool PreviewKeyPress(int key, Qt::KeyboardModifiers modifiers);  // arrows move, Tab selects
    void PreviewContextMenu(const QPoint& globalPos);

    // ---- Settings file, device commands, connection ------------------------------------
    void Button1Click();
    void Button2Click();
    vorkal::FileDialogMemory fileDialogMemory;  // where each kind of file dialog was left
    // False when nothing may be sent: no backup could be written, or the display could
    // not be read and the user would rather not overwrite it without one.
    bool BackupDisplay();
    bool BackupLog();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button11Click();
    void ComboBox2Change();
    void ComboBox4Click();
    void Timer2Timer();
    TAfComPort* AfComPort1 = nullptr;
    void AfComPort1DataRecived(QObject* sender, int count);
    void AfComPort1PortOpen(QObject* sender);
    void AfComPort1PortClose(QObject* sender);
    void OpenCom(int port);              // at the selected PC speed; Retry/Cancel when it cannot
    void FollowDisplaySpeed(int index);  // both speed lists, the stored speed and the open port
    void ShowConnectionState();          // "Connected"/"Disconnected", version, device buttons

    // ---- Ports that come and go ----------------------------------------------------------
    void PortsChanged();  // the port list follows; a lost port that is back is opened
    void AfComPort1DeviceLost(QObject* sender);
    // After the open port's device went away (not after Close): the window waits for it
    // and opens it again when it is back. Close stops the waiting.
    bool waitingForLostPort() const { return lostPort_ != 0; }
    void ReopenLostPort();
    void StopWaitingForLostPort();
    // A port that is back but does not open yet is tried again: quickly for a few
    // seconds (udev setting its group, ModemManager probing it), then seldom.
    static constexpr int kReopenRetryMs = 300;
    static constexpr int kReopenQuickTries = 20;
    static constexpr int kReopenSlowRetryMs = 2000;
    // The remembered port's adapter present under another number: chosen in its place.
    void OfferRememberedAdapter();

    // ---- Flight log and track window --------------------------------------------------
    void Button6Click();
    void Button10Click();
    // True only for Yes; `logKept` false adds that the log was not downloaded and so
    // cannot be kept.
    bool ConfirmClearLog(bool logKept);
    void LogsView();
    void StringGrid2DrawCell(int column, int row, QPainter* painter, const QRect& rect);
    // UTC date of the last complete log download, carried by GPX points; invalid until then.
    QDate logDownloadDate;
    void TrackButtonClick();
    vorkal::TrackWindow* trackWindow() const { return trackWindow_; }

    // Closed for good: the interrupted transfer is cancelled, the port closed, nothing
    // more shown; the program ends once the running handlers return.
    bool closing() const;

signals:
    void closedForGood();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool portIsOpen() const;

private:
    void createControls();
    void createDevice();
    void createPortWatch();
    void usePcSpeed();  // the port component at the PC speed chosen in the list
    void connectHandlers();
    void connectModels();
    void syncElementList();      // the element list holds the entries of the current variant
    void showNoConfiguration();  // the controls while a configuration is put away, and back
    void showConfigurationControls();
    void finishClosing();
    void applyLanguageTexts();
    void applyVariant(vorkal::DisplayVariant v);
    void editSelected(vorkal::ElementField field, int position = 0);  // one undo step
    void storeTyped(vorkal::ElementField field);                      // the typed value, one undo step
    void updateCaption();
    // Controls and preview in line with the image after an undo or redo; nothing is sent.
    void showRestoredImage(vorkal::DisplayVariant variantBefore, bool logChanged);
    int selectedEntry() const;                         // -1 unless a configuration is shown and the entry exists
    bool importSettingsFile(const QString& fileName);  // false: refused or unreadable (told)
    int speedIndex() const;
    bool deferWhileBusy(void (TForm1::*handler)());  // later, when a device wait is running

    View view_ = View::Start;
    bool shownOnce_ = false;
    vorkal::TransferHold transferHold_;
    int selectedOffset = -1;                   // ElementOffset of the selected entry, drawn red; -1 before any
    vorkal::ElementControls elementControls_;  // the selected entry's property controls
    vorkal::LayoutSelector layoutSelector_;    // RadioGroup3, rebuilt when the layout count changes
    std::unique_ptr<vorkal::BytePort> port_;
    vorkal::DisplaySession* session_ = nullptr;
    std::unique_ptr<vorkal::DisplayBackupKeeper> backups_;
    std::unique_ptr<vorkal::FirmwareUpdate> firmwareUpdate_;
    bool shownConnected_ = false;  // what ShowConnectionState showed last
    vorkal::TrackWindow* trackWindow_ = nullptr;
    std::unique_ptr<vorkal::CloseGuard> closeGuard_;
    std::unique_ptr<vorkal::PortList> portList_;
    PortWatch* portWatch_ = nullptr;
    int lostPort_ = 0;              // the port waited for after its device went away; 0: none
    QString openAdapter_;           // the open port's adapter (ReadAdapterIdentity); empty: none known
    QString lostAdapter_;           // the adapter waited for, under whatever number it comes back
    QString rememberedAdapter_;     // the adapter of the port Open uses, as stored
    QTimer* reopenRetry_ = nullptr;
    int reopenTries_ = 0;  // failed opens since the port was lost
    vorkal::SilentDialogs silentDialogs_;
    vorkal::Dialogs* dialogsBeforeClosing_ = nullptr;
};
