#pragma once
// The main window. It owns every control and keeps the handler names the rest of the
// program is written against; the handlers stay thin and call into the subsystem code.
// Its implementation is split by subsystem: form1_ui.cpp (controls), form1_shell.cpp
// (language, preferences, port list, views, variant set-up), form1_preview.cpp,
// form1_editor.cpp, form1_settings.cpp, form1_connection.cpp, form1_commands.cpp,
// form1_log.cpp, form1_closing.cpp. The conversation with the display is device/display_session*.cpp, the
// firmware update firmware/firmware_update.cpp.

#include <QCheckBox>
#include <QDate>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

#include "config_image.h"
#include "edit_history.h"
#include "preview_canvas.h"
#include "dialogs.h"
#include "widgets.h"

class TForm2;
class TAfComPort;
class QAction;
class QKeyEvent;

namespace vorkal {
class PreviewGrid;
class BytePort;
class DisplaySession;
class FirmwareUpdate;
class TrackWindow;
}  // namespace vorkal

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Shared program state -------------------------------------------------------
    vorkal::ConfigImage config;   // configuration image, log image, variant, flags
    bool languagePolish = false;  // false = English, true = Polish
    int selectedPort = 0;         // n of COMn used by Open; 0 = none
    TForm2* Form2 = nullptr;      // progress window, created hidden with the main window

    // Picks the text of the current language.
    QString tr2(const QString& english, const QString& polish) const { return languagePolish ? polish : english; }

    // ---- Controls (back to front) ---------------------------------------------------
    QFrame* Shape1;
    vorkal::PreviewGrid* StringGrid1;
    QTableWidget* StringGrid2;
    QGroupBox* GroupBox6;
    vorkal::TStaticText* StaticText6;
    QPushButton* Button7;  // "Load Defaults"
    vorkal::TStaticText* StaticText5;
    QGroupBox* GroupBox7;
    vorkal::TComboBox* ComboBox3;
    QPushButton* Button8;   // "Set Baud"
    QPushButton* Button11;  // "Firmware Update"
    QGroupBox* GroupBox2;
    QLineEdit* Edit1;  // "X position"
    vorkal::TStaticText* StaticText1;
    vorkal::TStaticText* StaticText2;
    QLineEdit* Edit2;  // "Y position"
    vorkal::TRadioGroup* RadioGroup1;
    QCheckBox* CheckBox1;
    vorkal::TUpDown* UpDown1;
    vorkal::TUpDown* UpDown2;
    QCheckBox* CheckBox2;
    QGroupBox* GroupBox4;
    vorkal::TComboBox* ComboBox1;
    vorkal::TRadioGroup* RadioGroup2;
    QLineEdit* Edit3;  // "Length"
    vorkal::TUpDown* UpDown3;
    vorkal::TStaticText* StaticText3;
    vorkal::TStaticText* StaticText4;
    QLineEdit* Edit4;  // "Height"
    vorkal::TUpDown* UpDown4;
    QGroupBox* GroupBox1;
    QPushButton* Button3;  // "Receive"
    QPushButton* Button4;  // "Send"
    QGroupBox* GroupBox3;
    QPushButton* Button1;  // "Import"
    QPushButton* Button2;  // "Export"
    vorkal::TRadioGroup* RadioGroup6;
    QGroupBox* GroupBox5;
    QPushButton* Button5;  // "Open" / "Close"
    vorkal::TComboBox* ComboBox2;
    vorkal::TComboBox* ComboBox4;
    QPushButton* Button6;  // "Logs Viev"
    vorkal::TRadioGroup* RadioGroup3;
    QPushButton* Button9;      // "Clear Log In display"
    QPushButton* Button10;     // "Save To File"
    QPushButton* TrackButton;  // opens the track window; log view only

    QTimer* Timer1;  // reply timer of the line protocol (the session's)
    QTimer* Timer2;  // status poll (the session's)

    // Filters of the file dialogs.
    static const char* const kSettingsFilter;
    static const char* const kLogFilter;

    // ---- Shell ----------------------------------------------------------------------
    void FormShow();
    void RadioGroup6Click();
    void ComboBox4DropDown();
    // The device and adapter behind COM<n>, in the current language; empty when gone.
    QString portDescription(int comNumber) const;
    // The port list's text for COM<port> when Open will use it but it is not present:
    // the name with a mark; absentPortHint says it in words.
    QString absentPortText(int port) const;
    // Why the list shows the port as absent and what to do; empty while it does not.
    QString absentPortHint() const;
    // With no listed entry chosen, the list names the port Open will use (marked as
    // absent), or asks for a choice when there is none.
    void showPortOpenWillUse();
    // Shown under the port list while it is dropped down: the highlighted port's description.
    QLabel* PortDetailsLine = nullptr;
    void SetDisplay84x48();
    void SetDisplay128x64();
    // The display answered as the other variant: the window follows it. A configuration
    // shown then belongs to the other variant and cannot go to this display: it is put
    // away (one undo step, image bytes untouched) and the start view asks for Receive.
    void FollowDisplayVariant(vorkal::DisplayVariant v);
    // Over the blank preview while a configuration is put away: why, and what to do.
    QLabel* PutAwayNote = nullptr;
    // Views: the start view holds until the first configuration is shown.
    enum class View { Start, Screen, Log };
    View view() const { return view_; }
    void setView(View v);

    // ---- One action at a time -------------------------------------------------------
    // While a user-started transfer runs (the display session says when one starts and
    // ends), the controls that would start another action or change the image are
    // disabled; the progress window's Cancel stays available.
    void setTransferControls(bool running);

    // ---- Preview --------------------------------------------------------------------
    void UpdateGrid();
    void ClearPreview();
    vorkal::PreviewCanvas previewCanvas;  // the preview's pixels, painted by StringGrid1

    // ---- Layout editor --------------------------------------------------------------
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
    // Extension point: tells a connected display to show the selected layout.
    void ShowLayoutOnDisplay();
    // Puts the image as it is now on screen: the controls of the selected entry and the
    // preview, or a blank preview while no configuration is shown. For every way out of
    // an action that may have left the controls or the picture behind the image.
    void ShowImageAsItIs();

    // ---- Edit history, unsaved changes, keyboard and context menu of the preview ------
    static const char* const kCaption;  // the window caption without the unsaved mark
    vorkal::EditHistory editHistory;
    QAction* undoAction = nullptr;  // Ctrl+Z
    QAction* redoAction = nullptr;  // Ctrl+Shift+Z, Ctrl+Y
    // Undoes or redoes one step and shows the image as it is then; nothing is sent.
    void UndoEdit();
    void RedoEdit();
    // Holds edits that were neither sent to the display nor exported since the last
    // Receive, Send, Import or Export.
    bool hasUnsavedChanges() const;
    // The image now matches what the display or a file holds.
    void markSaved();
    // Asks before unsaved changes are dropped; true when there are none or the user
    // agrees.
    bool mayDropUnsavedChanges();
    // Arrow keys move the selected element (Shift: by eight), Tab and Shift+Tab select
    // the next and previous entry; true when the key was used.
    bool PreviewKeyPress(int key, Qt::KeyboardModifiers modifiers);
    void NudgeSelected(int dx, int dy);
    // The preview's context menu at a global position.
    void PreviewContextMenu(const QPoint& globalPos);
    // Copies the current layout's elements over layout `target` (0-based); one step.
    void CopyLayoutTo(int target);
    void CentreSelectedHorizontally();

    // Makes the changes to the configuration made while it lives one undo step. Steps
    // nest: only the outermost one records, so a handler that runs others stays one step.
    class EditStep {
    public:
        explicit EditStep(TForm1& form) : form_(form) { form_.openStep(true); }
        ~EditStep() { form_.closeStep(); }
        EditStep(const EditStep&) = delete;
        EditStep& operator=(const EditStep&) = delete;

    private:
        TForm1& form_;
    };

    // ---- Backups of the display ------------------------------------------------------
    // Keeps what the display holds as a settings file in the backup folder before it is
    // overwritten, reading the display first unless a Receive of this connection read it
    // and nothing was written since. False when no backup could be written (after a
    // message) or the display could not be read and the user would rather not go on
    // without a backup: the caller sends nothing.
    bool BackupDisplay();
    QString lastBackupPath;  // the backup written last

    // ---- Settings file --------------------------------------------------------------
    void Button1Click();
    void Button2Click();
    // Where each kind of file dialog was left, for the rest of the run.
    vorkal::FileDialogMemory fileDialogMemory;

    // ---- Device protocol, connection, commands --------------------------------------
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void ComboBox2Change();
    void ComboBox4Click();
    void Timer2Timer();

    // ---- Flight log -----------------------------------------------------------------
    void Button6Click();
    void Button10Click();
    // Asks before the log in the display is erased; true only for Yes.
    bool ConfirmClearLog();
    void LogsView();
    // Draws a log table cell: the number column of data rows black on yellow.
    void StringGrid2DrawCell(int column, int row, QPainter* painter, const QRect& rect);
    // UTC date of the last complete log download; GPX points carry it (the log holds
    // only the time of day). Invalid until a download completes.
    QDate logDownloadDate;
    // ---- Track window ---------------------------------------------------------------
    void TrackButtonClick();
    vorkal::TrackWindow* trackWindow() const { return trackWindow_; }

    // ---- Firmware update ------------------------------------------------------------
    void Button11Click();

    // ---- Closing --------------------------------------------------------------------
    // The window was closed for good: the transfer it interrupted is cancelled, the port
    // is closed and nothing more is shown. The program ends once the handlers that were
    // running return (see EndWhenMainWindowCloses).
    bool closing() const { return closing_; }

signals:
    void closedForGood();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

    // Whether the serial port is open (false until the port component is wired in).
    bool portIsOpen() const;
    // Font-size entries of the current variant in the current language.
    QStringList fontEntries() const;

private:
    void applyVariant(vorkal::DisplayVariant v);
    void createControls();
    void connectHandlers();
    void attachPortDetails();
    void attachPutAwayNote();
    void applyLanguageTexts();
    void applyTypedValue(QLineEdit* edit);          // the Exit handler of one of the four edits
    bool isHistoryKey(const QKeyEvent* key) const;  // one of the undo or redo shortcuts
    void createTrackControls();
    // Refills the track window from the log table while it is open.
    void refreshTrackWindow();
    vorkal::TrackWindow* trackWindow_ = nullptr;

    View view_ = View::Start;
    bool shownOnce_ = false;
    // Controls disabled for the running transfer, with the state each had before it.
    std::vector<std::pair<QWidget*, bool>> heldControls_;

    // ---- Editor state ---------------------------------------------------------------
    // (editor)
    // ElementOffset of the selected element-list entry, drawn red by the preview;
    // -1 before anything is selected.
    int selectedOffset = -1;
    bool loading_ = false;              // LoadElementControls is setting the controls
    bool dragging_ = false;             // from a hit in the preview until the button is released
    int grabColumn_ = 0, grabRow_ = 0;  // mouse-down cell minus the hit element's X and Y
    int shownLayoutCount_ = 100;        // layout count last applied to RadioGroup3; 200 forces a rebuild
    // The selected element-list entry while a configuration is shown and the entry exists
    // in the current variant; -1 otherwise.
    int selectedEntry() const;
    // Preview cell under a widget position; false outside the screen.
    bool previewCell(int x, int y, int& column, int& row) const;
    // Left button alone, no Shift, Ctrl or Alt, in the preview's current mouse event.
    bool leftButtonAlone() const;
    void showFileError(const QString& fileName, const QString& reason, bool writing);
    // Takes a settings file over; false when it was refused or could not be read (the
    // user has been told, the image is unchanged).
    bool importSettingsFile(const QString& fileName);
    // Moves entry `i` to (x, y) through the X and Y up-downs, which keep it on the
    // screen, and redraws: the drag's and the arrow keys' way of moving.
    void moveEntryTo(int i, int x, int y);

    // ---- Edit history state -----------------------------------------------------------
    void createHistoryActions();
    // `record`: the outermost step records what changed (false: changes made to show
    // the image as it is, which are none).
    void openStep(bool record);
    void closeStep();
    void finishDragStep();
    void stepThroughHistory(bool forward);
    bool deviceBusy() const;
    void updateCaption();
    // Puts the controls, the layout selection and the preview in line with the image
    // after an undo or redo, without running any handler that talks to the display.
    void showRestoredImage(vorkal::DisplayVariant variantBefore, bool logChanged);
    // The element list holds the entries of the current variant.
    void syncElementList();

    // The controls while no configuration is shown after one was put away, and back.
    void showNoConfiguration();
    void showConfigurationControls();
    QString putAwayNoteText() const;
    vorkal::DisplayVariant putAwayVariant_ = vorkal::DisplayVariant::D84x48;
    bool putAwayUnsaved_ = false;  // the configuration put away last held unsaved changes
    // What the display holds as far as this connection knows it (read, nothing written since).
    void rememberDisplayImage(const std::array<uint8_t, vorkal::kImageSize>& image);
    void forgetDisplayImage();
    void displayShowsLayout(int layout);
    QString readDisplayConfigurationInto(std::array<uint8_t, vorkal::kImageSize>& dest);
    std::array<uint8_t, vorkal::kImageSize> displayImage_{};
    bool displayImageKnown_ = false;
    QString progressCaption_;  // shown instead of the progress window's own caption when set

    int stepDepth_ = 0;
    vorkal::ConfigImage stepBefore_;  // the configuration when the outer step opened
    bool recordStep_ = false;         // a configuration was shown when it opened
    bool savedWhenStepCloses_ = false;
    bool dragStepOpen_ = false;
    uint64_t savedStateId_ = 0;

    // ---- Device state ---------------------------------------------------------------
    // (device)
public:
    TAfComPort* AfComPort1 = nullptr;
    // The conversation with the display (line protocol, poll script, device commands)
    // and the firmware update on it.
    vorkal::DisplaySession& session() { return *session_; }
    vorkal::FirmwareUpdate& firmwareUpdate() { return *firmwareUpdate_; }

    void AfComPort1DataRecived(QObject* sender, int count);
    void AfComPort1PortOpen(QObject* sender);
    void AfComPort1PortClose(QObject* sender);
    // (Re)opens COM`port` at the selected PC speed; Retry/Cancel when it cannot.
    void OpenCom(int port);
    // The PC side moves to speed index `index`: both speed lists show it, it is stored,
    // and an open port is reopened at it.
    void FollowDisplaySpeed(int index);
    // "Connected" or "Disconnected", the firmware version and the device buttons, from
    // whether a display answers (the status poll's first half).
    void ShowConnectionState();

private:
    void createDevice();
    int speedIndex() const;
    // Selects the port list's entry for COM`port`, if there is one.
    void selectPortEntry(int port);
    // Runs `handler` now, or later when a device wait is running (see deferWhileBusy).
    bool deferWhileBusy(void (TForm1::*handler)());

    std::unique_ptr<vorkal::BytePort> port_;
    vorkal::DisplaySession* session_ = nullptr;
    std::unique_ptr<vorkal::FirmwareUpdate> firmwareUpdate_;
    bool shownConnected_ = false;  // what ShowConnectionState showed last

    // ---- Log state ------------------------------------------------------------------
    bool logDelegateInstalled_ = false;
    QList<QStringList> logTableCells() const;
    // Everything the log table is built from, as it was when the table was last filled:
    // a Receive that leaves the log as it was need not rebuild two thousand rows.
    QByteArray shownLogTableSource_;
    QByteArray logTableSource() const;

    // ---- Firmware update ------------------------------------------------------------
public:
    // What a failed update tells the user to do next; `firmwareTouched`: programming had
    // begun, so the old firmware may be gone.
    static QString StrandedDisplayHint(bool firmwareTouched, bool polish);

private:
    // Closes the port and tells the user how to get a display in its boot loader back.
    void showStrandedDisplayHint(bool firmwareTouched);

    // ---- Closing ----------------------------------------------------------------------
    // Asks, without blocking the transfer, whether to stop it and close.
    void askToStopTransfer();
    // Says, without blocking, that the firmware update must finish before the window closes.
    void showUpdateMustFinish();
    void finishClosing();
    bool closing_ = false;
    bool closeQuestionOpen_ = false;
    vorkal::SilentDialogs silentDialogs_;
    vorkal::Dialogs* dialogsBeforeClosing_ = nullptr;
};
