// The commands that talk to a display: info, receive, send, defaults, set-baud, the log
// download and clear, and the firmware update.

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cstdio>

#include "atomic_file.h"
#include "background_write.h"
#include "byte_port.h"
#include "commands.h"
#include "display_backup.h"
#include "display_backup_keeper.h"
#include "display_link.h"
#include "display_session.h"
#include "error_texts.h"
#include "firmware_update.h"
#include "layout_editor.h"
#include "log_export.h"
#include "log_table.h"
#include "preferences.h"
#include "settings_file.h"
#include "trace_log.h"

namespace vorkal::cli {

namespace {

void PrintResult(const QString& text) {
    TraceShown("result:", text);
    std::fputs((text + "\n").toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString VariantName(DisplayVariant variant) { return variant == DisplayVariant::D128x64 ? "128x64" : "84x48"; }
QString VariantName(const ConfigImage& config) { return VariantName(config.variant()); }

// The stored speed follows the display when the speed came from the store, as the
// window's speed list does; a speed given on the command line stays the caller's.
void StoreSpeed(DisplayLink& link, int index) {
    if (link.speedFromOptions()) return;
    try {
        Preferences::writeSpeed(index);
    } catch (const std::exception& e) {
        PrintError(QString::fromUtf8(e.what()));
    }
}

// Keeps what the display holds as a backup before it is overwritten, as the window does.
// A display that cannot be read gets nothing sent; --no-backup is the way past that.
int BackupDisplay(const Options& options, DisplayLink& link) {
    if (options.noBackup) return kExitOk;
    const bool polish = link.polish();
    DisplaySession& session = link.session();
    link.progress().setProgressCaption(
        Tr(polish, "Reading the display for a backup...", "Odczyt wyświetlacza do kopii zapasowej..."));
    link.progress().setStepBytes(kConfigBlockSize);
    // The same read-then-write as the window's: the display is read first, its bytes
    // that a small display does not exchange stay as the program has them.
    DisplayBackupKeeper keeper(link.config(), [&session](std::array<uint8_t, kImageSize>& image) {
        return session.readConfigurationInto(image);
    });
    const DisplayBackupKeeper::Result backup = keeper.backUp();
    link.progress().setProgressCaption(QString());
    if (backup.kind == DisplayBackupKeeper::Result::Kind::ReadFailed) {
        const int code = link.exitCodeFor(backup.error);
        if (code == kExitCancelled) {
            PrintError(Tr(polish, "The read of the display for a backup was cancelled; nothing was sent.",
                          "Odczyt wyświetlacza do kopii zapasowej przerwano; nic nie wysłano."));
            return code;
        }
        PrintError(Tr(polish, "The display could not be read for a backup:\r\n%1",
                      "Nie udało się odczytać wyświetlacza do kopii zapasowej:\r\n%1")
                       .arg(backup.error) +
                   "\n" +
                   Tr(polish, "Nothing was sent; --no-backup writes without a backup.",
                      "Nic nie wysłano; --no-backup zapisuje bez kopii zapasowej."));
        return code;
    }
    if (backup.kind == DisplayBackupKeeper::Result::Kind::WriteFailed) {
        PrintError(Tr(polish, "The backup of the display could not be written to %1, so nothing was sent.",
                      "Nie udało się zapisać kopii zapasowej wyświetlacza w %1, więc nic nie wysłano.")
                       .arg(backup.path) +
                   "\n" + backup.error);
        return kExitFile;
    }
    PrintResult(Tr(polish, "backup: ", "kopia zapasowa: ") + backup.path);
    // A write that then fails or is cancelled names this file as the way back.
    session.backupOfNextWrite = backup.path;
    return kExitOk;
}

// Reads a settings file as Import does; prints why it is refused.
bool ReadSettingsFile(const QString& fileName, bool polish, QByteArray* bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintError(Tr(polish, "Cannot read the file %1:\n%2", "Nie można odczytać pliku %1:\n%2")
                       .arg(fileName, file.errorString()));
        return false;
    }
    const qint64 size = file.size();
    if (!IsSettingsFileSize(size)) {
        PrintError(Tr(polish,
                      "The file %1 is not a settings file: it has %2 bytes.\n"
                      "Settings files have 512, 8704 or 33792 bytes.",
                      "Plik %1 nie jest plikiem ustawień: ma %2 bajtów.\n"
                      "Pliki ustawień mają 512, 8704 lub 33792 bajty.")
                       .arg(fileName)
                       .arg(size));
        return false;
    }
    *bytes = file.read(size);
    if (bytes->size() != size) {
        PrintError(Tr(polish, "Cannot read the file %1:\n%2", "Nie można odczytać pliku %1:\n%2")
                       .arg(fileName, file.error() != QFileDevice::NoError
                                          ? file.errorString()
                                          : Tr(polish, "The file is shorter than its size.",
                                               "Plik jest krótszy niż jego rozmiar.")));
        return false;
    }
    if (!SettingsFileHasLayouts(*bytes)) {
        PrintError(Tr(polish, "The file %1 holds no screen layout.", "Plik %1 nie zawiera żadnego układu ekranu.")
                       .arg(fileName));
        return false;
    }
    return true;
}

// The display's configuration into the program's image, for the commands that write
// part of it back (the log kept in the configuration, and its header block).
// After a write of the display that failed once its backup was made: the message said
// where the backup is; this says how to put it back from here.
int WithWayBack(int code, const QString& backupPath, bool polish) {
    if (code != kExitOk && !backupPath.isEmpty())
        PrintError(Tr(polish, "vorkal-cli send %1 puts back what the display held.",
                      "vorkal-cli send %1 przywraca to, co wyświetlacz zawierał.")
                       .arg(backupPath));
    return code;
}

// What a display left in its boot loader by a failed update needs, from a terminal:
// `firmwareTouched`: the program command went out, so the old firmware may be gone.
QString StrandedDisplayNote(bool firmwareTouched, bool polish) {
    if (firmwareTouched)
        return Tr(polish,
                  "The display is waiting in its boot loader; its firmware is incomplete.\n"
                  "Run the same vorkal-cli flash command again: it finds the display in its boot loader.",
                  "Wyświetlacz czeka w programie ładującym; jego oprogramowanie jest niekompletne.\n"
                  "Uruchom ponownie to samo polecenie vorkal-cli flash: znajdzie wyświetlacz "
                  "w programie ładującym.");
    return Tr(polish,
              "The display may be waiting in its boot loader; its old firmware is intact.\n"
              "Switch the display off and on again to start it, or run vorkal-cli flash again.",
              "Wyświetlacz może czekać w programie ładującym; dotychczasowe oprogramowanie jest nienaruszone.\n"
              "Wyłącz i włącz zasilanie wyświetlacza, aby je uruchomić, albo ponów vorkal-cli flash.");
}

// Reads the firmware file into the update's image and checks it, before any port is
// opened: the display is not touched for a file that would be refused. Prints why.
bool CheckFirmwareFile(FirmwareUpdate& update, const QString& fileName, bool polish) {
    QFile probe(fileName);
    if (QFileInfo(fileName).isDir() || !probe.open(QIODevice::ReadOnly)) {
        PrintError(Tr(polish, "Cannot read the file %1:\n%2", "Nie można odczytać pliku %1:\n%2")
                       .arg(fileName, QFileInfo(fileName).isDir() ? Tr(polish, "It is a folder.", "To jest folder.")
                                                                  : probe.errorString()));
        return false;
    }
    probe.close();
    update.image().reset();
    const QString refusal = update.loadFile(fileName).refusal;
    if (refusal.isEmpty()) return true;
    PrintError(refusal + "\n" + Tr(polish, "File: %1", "Plik: %1").arg(fileName));
    return false;
}

int ReceiveInto(DisplayLink& link) {
    link.progress().setStepBytes(kConfigBlockSize);
    return link.exitCodeFor(link.session().receiveConfiguration());
}

}  // namespace

void PrintError(const QString& text) {
    TraceShown("error:", text);
    QString plain = text;
    plain.replace("\r\n", "\n");
    std::fputs((plain.trimmed() + "\n").toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void PrintFileWriteError(const QString& path, const QString& reason, bool polish) {
    PrintError(Tr(polish, "Cannot write the file %1:\n%2", "Nie można zapisać pliku %1:\n%2").arg(path, reason));
}

bool WriteResultFile(const QString& path, const QByteArray& bytes, bool polish) {
    QString error;
    if (WriteFileAtomically(path, bytes, &error)) return true;
    PrintFileWriteError(path, error, polish);
    return false;
}

int RunInfo(const Options& options, DisplayLink& link) {
    const DisplaySession& session = link.session();
    // The version line is the version ("v1.23"), then the variant mark: '+' or '*' for
    // a display with log memory of its own, anything else for one without.
    const QByteArray line = session.firmwareVersion;
    const QString version = PrintableVersion(line.left(5)).trimmed();
    const char mark = line.size() > 5 ? line[5] : ' ';
    const QString variantMark = mark == '+' || mark == '*' ? QString(QChar(mark)) : QString();
    const int baud = link.session().port().baudRate();
    if (options.json) {
        const QJsonObject o{{"port", QString("COM%1").arg(link.comNumber())},
                            {"version", version},
                            {"variantMark", variantMark},
                            {"versionLine", PrintableVersion(line)},
                            {"variant", VariantName(link.config())},
                            {"separateLog", link.config().separateLog},
                            {"speed", baud}};
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
        return kExitOk;
    }
    const bool pl = options.polish;
    PrintResult(Tr(pl, "Firmware version: ", "Oprogramowanie: ") + version);
    PrintResult(Tr(pl, "Display: ", "Wyświetlacz: ") + VariantName(link.config()));
    PrintResult(Tr(pl, "Separate log memory: ", "Osobna pamięć logów: ") +
                (link.config().separateLog ? Tr(pl, "yes", "tak") : Tr(pl, "no", "nie")));
    PrintResult(Tr(pl, "Speed: ", "Prędkość: ") + Tr(pl, "%1 baud", "%1 bodów").arg(baud));
    return kExitOk;
}

int RunReceive(const Options& options, DisplayLink& link) {
    const QString out = options.arguments[0];
    // The file is written as soon as the last block is in, while the display gets its
    // quiet pause after that answer: nothing goes on the line then, and the sync to the
    // disk takes about as long as the pause.
    BackgroundFileWrite write;
    DisplaySession& session = link.session();
    const QMetaObject::Connection lastBlock = QObject::connect(
        &session, &DisplaySession::allBlocksRead, &session, [&] { write.start(out, SettingsFileBytes(link.config())); },
        Qt::DirectConnection);
    const int code = ReceiveInto(link);
    QObject::disconnect(lastBlock);
    if (code) return code;
    // A port that closed before the command reads nothing and reports nothing: there is
    // no configuration to write.
    if (!write.started()) return link.failureExitCode();
    if (!write.finish(link.polish())) return kExitFile;
    PrintResult(out);
    return kExitOk;
}

int RunSend(const Options& options, DisplayLink& link) {
    ConfigImage& config = link.config();
    QByteArray bytes;
    if (!ReadSettingsFile(options.arguments[0], link.polish(), &bytes)) return kExitFile;
    ConfigImage probe;
    const DisplayVariant fileVariant = LoadSettingsFile(probe, bytes);
    if (fileVariant != config.variant()) {
        PrintError(Tr(link.polish(), "The file %1 is for a %2 display; this display is %3.",
                      "Plik %1 jest dla wyświetlacza %2; ten wyświetlacz to %3.")
                       .arg(options.arguments[0], VariantName(fileVariant), VariantName(config)));
        return kExitFile;
    }
    if (const int code = BackupDisplay(options, link)) return code;
    const QString backupPath = link.session().backupOfNextWrite;
    // The display's own flag stays: the file's says what the display that made it had.
    const bool separateLog = config.separateLog;
    LoadSettingsFile(config, bytes);
    config.separateLog = separateLog;
    config.configurationLoaded = true;
    link.progress().setStepBytes(kConfigBlockSize);
    return WithWayBack(link.exitCodeFor(link.session().sendConfiguration()), backupPath, link.polish());
}

int RunDefaults(const Options& options, DisplayLink& link) {
    if (const int code = BackupDisplay(options, link)) return code;
    const QString backupPath = link.session().backupOfNextWrite;
    link.progress().setStepBytes(0);
    link.setUnstoppableText(Tr(link.polish(),
                               "Loading the factory settings cannot be stopped halfway; it ends by itself "
                               "in a few seconds.",
                               "Wczytywania ustawień fabrycznych nie można przerwać w połowie; zakończy się "
                               "samo za kilka sekund."));
    ConfigImage& config = link.config();
    const QString error = link.session().loadDefaults();
    if (const int code = link.exitCodeFor(error)) return WithWayBack(code, backupPath, link.polish());
    // The reset display restarts at the speed of the factory image.
    const int index = std::clamp(CorrectSpeedByte(config), 0, 4);
    StoreSpeed(link, index);
    PrintResult(Tr(link.polish(), "speed: %1", "prędkość: %1").arg(BaudOfSpeedIndex(index)));
    return kExitOk;
}

int RunSetBaud(const Options& options, DisplayLink& link) {
    const auto index = SpeedIndexOfBaud(options.arguments[0].toInt());
    if (!index) {
        PrintError(Tr(link.polish(), "set-baud takes 57600, 38400, 19200, 9600 or 4800, not %1",
                      "set-baud przyjmuje 57600, 38400, 19200, 9600 lub 4800, a nie %1")
                       .arg(options.arguments[0]));
        return kExitUsage;
    }
    link.progress().setStepBytes(0);
    if (!link.session().setBaud(*index, link.speedIndex())) return link.failureExitCode();
    StoreSpeed(link, *index);
    PrintResult(Tr(link.polish(), "speed: %1", "prędkość: %1").arg(BaudOfSpeedIndex(*index)));
    return kExitOk;
}

int RunLogDownload(const Options& options, DisplayLink& link) {
    const QString out = options.arguments[0];
    const QString suffix = out.section('.', -1).toLower();
    int format = 0;
    if (suffix == "txt") format = kExportText;
    else if (suffix == "kml") format = options.extruded ? kExportExtrudedKml : kExportKml;
    else if (suffix == "gpx") format = kExportGpx;
    if (!format || !out.contains('.')) {
        PrintError(Tr(link.polish(), "log download writes .txt, .kml or .gpx, not %1",
                      "log download zapisuje .txt, .kml lub .gpx, a nie %1")
                       .arg(out));
        return kExitUsage;
    }
    ConfigImage& config = link.config();
    if (config.separateLog) {
        link.progress().setStepBytes(config.is128x64() ? 128 : 16);
        if (const int code = link.exitCodeFor(link.session().downloadLog())) return code;
    } else if (const int code = ReceiveInto(link)) {
        return code;  // the log lives in the configuration
    }
    const LogTableCells cells = BuildLogTable(config, link.polish(), QLocale::system().decimalPoint());
    // GPX needs a date: the download's.
    const QByteArray bytes = ExportLog(cells, format, QDateTime::currentDateTimeUtc().date());
    if (!WriteResultFile(out, bytes, link.polish())) return kExitFile;
    PrintResult(out);
    return kExitOk;
}

int RunLogClear(const Options&, DisplayLink& link) {
    ConfigImage& config = link.config();
    // Without log memory the clear writes configuration blocks back: they must be the
    // display's own, not a blank image's.
    if (!config.separateLog)
        if (const int code = ReceiveInto(link)) return code;
    link.progress().setStepBytes(0);
    return link.exitCodeFor(link.session().clearLog());
}

int RunFlash(const Options& options, DisplayLink& link) {
    const bool polish = link.polish();
    DisplaySession& session = link.session();
    FirmwareUpdate update(session);
    if (!CheckFirmwareFile(update, options.arguments[0], polish)) return kExitFile;

    link.setUnstoppableText(
        Tr(polish,
           "The firmware update is under way and cannot be stopped now: stopped halfway, it would leave the "
           "display without working firmware.\nvorkal-cli ends by itself when the update has ended.",
           "Trwa aktualizacja oprogramowania i nie można jej teraz przerwać: przerwana w połowie zostawiłaby "
           "wyświetlacz bez działającego oprogramowania.\nvorkal-cli zakończy działanie samo po zakończeniu "
           "aktualizacji."));
    // A display stranded in its boot loader by an earlier update answers no version
    // query; the update reaches it all the same, as the window's does.
    if (const int code = link.connect(DisplayLink::Silence::MayBeBootLoader)) return code;
    // The question names the display's version, known only now.
    if (!options.quiet)
        PrintError(ConfirmUpdateQuestion(PrintableVersion(session.firmwareVersion.left(5)),
                                         PrintableVersion(FirmwareVersionText(update.image())), polish));
    session.boot.state = 0;
    link.progress().setStepBytes(0);
    if (update.run()) return kExitOk;
    const int code = link.failureExitCode();
    PrintError(StrandedDisplayNote(update.programmingStarted(), polish));
    link.close();
    return code;
}

}  // namespace vorkal::cli
