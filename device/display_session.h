#pragma once
// The conversation with one display: the receive side, the reply timer, the waits, the
// block transactions with their retries, the status poll's script steps and the device
// commands (Receive, Send, Load Defaults, Set Baud, Clear Log, log download).
//
// Everything runs on the thread that owns the session (the user-interface thread). A
// wait runs a local event loop that the reply, the reply timer or Cancel ends, so the
// port's data-received notification, the timers and the Cancel button keep working
// inside it. The transactions are not re-entrant: see deferWhileBusy().

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "error_texts.h"
#include "config_image.h"
#include "line_protocol.h"
#include "line_receiver.h"

class QEventLoop;

namespace vorkal {

class BytePort;
class ProgressSink;
enum class ProtocolError;

class DisplaySession : public QObject {
    Q_OBJECT
public:
    // Reply time-outs of the commands. The program keeps these; tests shorten them.
    struct ReplyTimeouts {
        int readBlock = ReplyTimeout::ReadBlock;
        int writeBlock = ReplyTimeout::WriteBlock;
        int writeText = ReplyTimeout::WriteText;
        int clearScreen = ReplyTimeout::ClearScreen;
        int reset = ReplyTimeout::Reset;
        int setSpeed = ReplyTimeout::SetSpeed;
        int showLayout = ReplyTimeout::ShowLayout;
    };

    // Fixed pauses of the written command sequences. The program keeps these; tests that
    // do not test the pauses shorten them.
    struct SequencePauses {
        int betweenBlockReadsMs = 10;   // Receive and the backup read: after every block
        int defaultsShownMs = 1500;     // Load Defaults: "Returned to default" shown before the reset
        int beforeSpeedChangeMs = 500;  // Set Baud: before the speed command
    };

    // `config` is the program's configuration and log image; `polish` the language flag,
    // read whenever a text is chosen.
    DisplaySession(ConfigImage& config, const bool& polish, BytePort& port, ProgressSink& progress,
                   QObject* parent = nullptr);
    ~DisplaySession() override;

    ConfigImage& config() { return config_; }
    BytePort& port() { return port_; }
    ProgressSink& progress() { return progress_; }
    bool polish() const { return polish_; }
    QString text(ProtocolError error) const;

    // ---- Protocol state -------------------------------------------------------------
    QByteArray replyText;          // last reply line, without CR LF
    bool replyComplete = false;    // a reply, the timeout or Cancel ended the exchange
    bool cancelFlag = false;       // Cancel pressed since the progress window was shown
    QByteArray firmwareVersion;    // last version line; empty while no display answers
    bool bootReceiveMode = false;  // the receive side works byte-wise for the boot loader
    BootReceiver boot;             // boot state byte, frame count and frame value
    ReplyTimeouts timeouts;
    SequencePauses pauses;

    // The reply timer (single-shot in effect) and the status poll timer.
    QTimer* replyTimer() const { return replyTimer_; }
    QTimer* pollTimer() const { return pollTimer_; }

    // ---- Exchanges ------------------------------------------------------------------
    // Sends command + CR LF and starts the reply timer; nothing while the port is closed.
    // The timer runs the time-out on top of the line time of the command and of the
    // longest reply it can get, at the port's speed (ReplyWaitMs).
    void SendCommand(const QByteArray& command, int timeoutMs);
    // First character of the reply line, or '!' (timeout, Cancel, empty line, closed port).
    char WaitReply();
    // Block transactions: an error text, empty on success.
    QString ReadConfigBlock(uint8_t n);
    // Reads configuration block n into `dest` (16 bytes) instead of the program's image.
    QString ReadConfigBlockInto(uint8_t n, uint8_t* dest);
    // Log block `block` into the log image (16 bytes on 84 x 48, 128 on 128 x 64).
    QString ReadLogBlock(int block);
    QString WriteConfigBlocks(uint8_t first, uint8_t last);
    QString WriteLogRecords(uint16_t first, uint16_t last);
    bool WriteDisplayText(uint8_t x, uint8_t y, int font, int flag, const QByteArray& text);
    // Tells the display to show `layout` (from 0) without waiting for its answer.
    void ShowLayout(int layout);

    // The reply timer ran out.
    void replyTimeout();
    // The progress window's Cancel: ends the running exchange with "Canceled".
    void cancel();
    // The progress window was shown: a new transfer may not be cancelled by an old Cancel.
    void progressShown() { cancelFlag = false; }

    // ---- Waiting --------------------------------------------------------------------
    // A fixed pause that keeps the user interface (and Cancel) alive.
    void PauseMs(int ms);
    // The same pause counted from the end of the last exchange (its reply, time-out or
    // Cancel): the quiet time the display gets after its answer, while the answer is
    // decoded and shown.
    void PauseAfterExchange(int ms);
    // Runs the event loop until `done()` holds. It is checked again after every batch of
    // received bytes (every boot byte in boot receive mode), the reply timer's run-out and
    // Cancel, so `done` must be able to become true through one of those.
    void WaitUntil(const std::function<bool()>& done);
    // True while an exchange or pause is waiting: no other command may start inside it.
    bool waiting() const { return waitDepth_ > 0; }
    // True when `command` must not run now. A command asked for during the status
    // poll's header read runs once that read is over; any other wait drops it.
    bool deferWhileBusy(std::function<void()> command);

    // Runs the event loop until the monotonic clock reaches `deadlineNs`.
    void pauseUntil(int64_t deadlineNs);
    // A version query of the poll that is still unanswered holds up the purge of the
    // next command until its answer is in, or until the poll would count it as missed:
    // a transfer started just after the query must not throw the answer away and leave
    // a present display shown as "Disconnected".
    void awaitVersionAnswer();
    // The running exchange ends without a reply (time-out, Cancel, closed port).
    void endExchangeUnanswered();

    // ---- Port events ----------------------------------------------------------------
    void dataReceived();
    void portOpened();
    void portClosed();

    // ---- Status poll ----------------------------------------------------------------
    // One step of the poll's script (the connection display is the window's).
    void pollStep();
    // The header read of a poll step is waiting for its reply.
    bool pollStepRunning() const { return pollStepRunning_; }
    // The script position the next poll step takes.
    int pollScriptPosition() const { return scriptPosition_; }

    // Stops the status poll while it lives; the outermost pause starts the poll again
    // (or, for RestoreRunning, restores the state it found). A user transfer holds one.
    class PollPause {
    public:
        enum class End { Start, RestoreRunning };
        PollPause(DisplaySession& session, End end, bool stop = true);
        ~PollPause();
        PollPause(const PollPause&) = delete;
        PollPause& operator=(const PollPause&) = delete;

    private:
        DisplaySession& session_;
        End end_;
        bool wasRunning_;
    };
    // A user-started transfer is running (the poll is paused for it).
    bool transferRunning() const { return pauseDepth_ > 0; }

    // ---- Device commands --------------------------------------------------------------
    // Each shows its progress and its messages through the progress sink, pauses the
    // status poll for its duration and returns its error text (empty on success).
    // Receive: every configuration block into the image; configurationReceived() on success.
    QString receiveConfiguration();
    // Reads the display's whole configuration into `dest`, leaving the program's image alone.
    QString readConfigurationInto(std::array<uint8_t, kImageSize>& dest);
    // Where the configuration sent by the next Send or Load Defaults was backed up (empty:
    // no backup was made); its failure message says how to restore it. Used once.
    QString backupOfNextWrite;
    // Send: the blocks the layouts use, then the show-layout command.
    QString sendConfiguration();
    // Load Defaults after the user has confirmed it: factory image into the program and
    // the display, then the display is reset.
    QString loadDefaults();
    // Set Baud: the display to speed index `displayIndex`, the port after it. `pcIndex`
    // is the PC speed selected before. True when the display answered at the new speed.
    bool setBaud(int displayIndex, int pcIndex);
    // Set Baud is running. Its fixed steps (under a second) must all run, or the display
    // and the PC side may be left at different speeds.
    bool settingBaud() const { return settingBaud_; }
    // Clear Log In display: the log memory, or the in-image log area, filled with 0xFF.
    QString clearLog();
    // The log download of the view switch: every log block into the log image.
    QString downloadLog();

signals:
    // A version line announced the display variant; the program follows it.
    void variantAnnounced(bool wide);
    // Receive filled the image: put it on screen.
    void configurationReceived();
    // Every block of a block read (Receive, the read for a backup, the log download) is
    // in: the read has succeeded. Only the quiet pause after the last answer is still to
    // come, so work on the result may start now and overlap it.
    void allBlocksRead();
    // Receive ended early; the blocks that came are in the image (emitted before the
    // error is shown, so that the window behind it shows the image as it now is).
    void configurationIncomplete();
    // The poll re-read the header block: apply its layout bytes.
    void headerReceived();
    // Set Baud failed: both speed selections go back to `speedIndex`.
    void speedSelectionsRestored(int speedIndex);
    // A user-started transfer begins / has ended.
    void transferStarted();
    void transferFinished();

private:
    void takeVersionLine(const QByteArray& line);
    void noteVersionQuerySent(int answerMs);
    void setReplyComplete();
    void purgeOutput();
    void wakeWaiters();
    void scheduleReceive();
    QString readBlock(const QByteArray& command, const QByteArray& echo, uint8_t* dest, int size, bool memoryMayFail);
    QString writeBlocks(int first, int last, const std::function<QByteArray(int)>& commandFor, ProtocolError refused,
                        QString (*sendFailed)(int, const QString&, bool));
    QString readAllBlocks(uint8_t* image);
    // Reads blocks 0 .. count-1 with `readOne` under the progress bar, stopping at the
    // first error; `pauseMs` > 0 waits that long after each block.
    QString readBlocksWithProgress(int count, const std::function<QString(int)>& readOne, int pauseMs);
    // `message` with the lines that say why and what to do next: what to check when the
    // display did not answer (`reason`), and what a write that failed partway (`write`)
    // may have left in the display.
    QString withAdvice(QString message, const QString& reason, const PartialWrite* write = nullptr);
    // Writes `text` centred on the display at row `y` in the default font.
    bool writeCentred(const QByteArray& text, uint8_t y);

    ConfigImage& config_;
    const bool& polish_;
    BytePort& port_;
    ProgressSink& progress_;
    QTimer* replyTimer_;
    QTimer* pollTimer_;
    LineReceiver receiver_;
    std::vector<QEventLoop*> waitLoops_;
    int waitDepth_ = 0;
    int64_t exchangeEndNs_ = 0;  // monotonic time the last exchange ended, 0 before any
    int pauseDepth_ = 0;
    bool receiveQueued_ = false;
    int scriptPosition_ = 0;
    bool pollStepRunning_ = false;
    bool settingBaud_ = false;
    std::function<void()> afterPollStep_;
    bool versionQueryOutstanding_ = false;
    int64_t versionAnswerDeadlineNs_ = 0;  // monotonic time the poll counts the answer as missed
};

}  // namespace vorkal
