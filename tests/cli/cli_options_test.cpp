// The command line and the progress line: parsed options, usage errors with their exit
// code, the help of every command, and the bar a terminal shows.

#include <QRegularExpression>

#include "cli_fixture.h"
#include "cli_options.h"
#include "terminal_progress.h"

using namespace vorkal::cli;
using vorkal::testing::CliRun;
using vorkal::testing::CliTest;
using vorkal::testing::Describe;

TEST(CliOptions, ParsesCommandsArgumentsAndOptions) {
    const ParseResult r = ParseCommandLine(
        {"log", "download", "out.kml", "--extruded", "--port", "com12", "--speed", "9600", "--lang", "pl", "--quiet"});
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.options.command, (QStringList{"log", "download"}));
    EXPECT_EQ(r.options.arguments, QStringList{"out.kml"});
    EXPECT_EQ(r.options.comNumber, 12);
    EXPECT_EQ(r.options.speedIndex, 3);
    EXPECT_TRUE(r.options.extruded && r.options.polish && r.options.quiet);
    EXPECT_FALSE(r.options.yes || r.options.noBackup || r.options.json || r.options.wait || r.options.each);
    const ParseResult each = ParseCommandLine({"flash", "a.hex", "--yes", "--each", "--wait"});
    ASSERT_TRUE(each.error.isEmpty()) << each.error.toStdString();
    EXPECT_TRUE(each.options.each && each.options.wait);
}

TEST(CliOptions, RefusesWhatNoCommandTakes) {
    struct Case {
        QStringList args;
        const char* error;
    } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"log", "erase"}, "unknown command"},
        {{"receive"}, "receive FILE.set"},
        {{"receive", "a.set", "b.set"}, "receive FILE.set"},
        {{"info", "--port", "COM0"}, "COM1 .. COM255"},
        {{"info", "--port", "COM256"}, "COM1 .. COM255"},
        {{"info", "--port", "ttyUSB0"}, "COM1 .. COM255"},
        {{"info", "--port"}, "needs a value"},
        {{"info", "--speed", "115200"}, "--speed is"},
        {{"info", "--lang", "de"}, "--lang is"},
        {{"info", "--bogus"}, "unknown option"},
        {{"info", "--port", "COM3", "--device", "/dev/ttyS0"}, "twice"},
        {{"info", "--each"}, "--each works with flash, send and receive"},
        {{"log", "clear", "--yes", "--each"}, "--each works with flash, send and receive"},
        {{"ports", "--wait"}, "--wait works with the display commands"},
    };
    for (const Case& c : cases) {
        const ParseResult r = ParseCommandLine(c.args);
        EXPECT_TRUE(r.error.contains(c.error)) << c.args.join(' ').toStdString() << " -> " << r.error.toStdString();
    }
}

TEST(CliOptions, PolishLeavesNoEnglishInHelpOrErrors) {
    // A line the Polish help shares with the English one can only be a command's usage
    // without a placeholder ("  log clear --yes"); anything else was left untranslated.
    const QStringList names{"ports", "info", "receive", "send", "defaults", "set-baud", "log", "flash"};
    for (const QStringList& command : {QStringList{}, {"ports"}, {"info"}, {"receive"}, {"send"}, {"defaults"},
                                       {"set-baud"}, {"log", "download"}, {"log", "clear"}, {"flash"}}) {
        const QString polish = HelpText(command, true);
        const QStringList english = HelpText(command, false).split('\n');
        EXPECT_TRUE(polish.startsWith(QString::fromUtf8("użycie: vorkal-cli"))) << polish.toStdString();
        for (const QString& line : polish.split('\n')) {
            if (line.trimmed().isEmpty() || !english.contains(line)) continue;
            const bool usage = line.startsWith("  ") && names.contains(line.trimmed().section(' ', 0, 0)) &&
                               line.toUpper() != line.toLower() && !line.contains(QRegularExpression("[A-Z]{3,}"));
            EXPECT_TRUE(usage) << "untranslated: " << line.toStdString();
        }
    }
    // The language counts wherever it stands among the arguments.
    struct Case {
        QStringList args;
        const char* error;
    } cases[] = {
        {{"info", "--bogus", "--lang", "pl"}, "nieznana opcja --bogus"},
        {{"--lang", "pl", "frobnicate"}, "nieznane polecenie frobnicate"},
        {{"--lang", "pl", "receive"}, "użycie: vorkal-cli receive PLIK.set"},
        {{"info", "--speed", "1", "--lang", "pl"}, "--speed to 57600"},
        {{"--lang", "pl"}, "nie podano polecenia"},
    };
    for (const Case& c : cases) {
        const ParseResult r = ParseCommandLine(c.args);
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.error)))
            << c.args.join(' ').toStdString() << " -> " << r.error.toStdString();
    }
}

TEST(CliOptions, BarShowsPercentBytesAndTimeLeft) {
    struct Case {
        int position, maximum, stepBytes;
        qint64 elapsedMs;
        bool polish;
        const char* expected;
    } cases[] = {
        {0, 64, 16, 0, false, "[..........]   0%  0/1024 bytes"},
        {16, 64, 16, 1000, false, "[##........]  25%  256/1024 bytes  0:03 left"},
        {32, 64, 0, 90000, false, "[#####.....]  50%  1:30 left"},
        {64, 64, 16, 5000, false, "[##########] 100%  1024/1024 bytes"},
        {3, 0, 16, 10, false, "[..........]   0%  48/0 bytes"},
        {16, 64, 16, 1000, true, "[##........]  25%  256/1024 bajtów  pozostało 0:03"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TerminalProgress::BarLine(c.position, c.maximum, c.stepBytes, c.elapsedMs, 10, c.polish),
                  QString::fromUtf8(c.expected));
}

TEST(CliOptions, LinesStylePrintsEveryTenthOnceAndMessagesOnTheirOwnLine) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    {
        TerminalProgress progress(TerminalProgress::Style::Lines, out);
        int shown = 0;
        progress.onShow = [&] { ++shown; };
        progress.showProgress(64);
        for (int i = 0; i < 70; ++i) progress.stepProgress();  // beyond the maximum: stays at 100
        progress.showMessage("Error\r\nRead timeout");
        progress.hideProgress();
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(progress.progressPosition(), 64);
    }
    std::fclose(out);
    const QString printed = QString::fromUtf8(text, qsizetype(size));
    std::free(text);
    EXPECT_EQ(printed, "0%\n10%\n20%\n30%\n40%\n50%\n60%\n70%\n80%\n90%\n100%\nError\nRead timeout\n");
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndNameTheProblem) {
    struct Case {
        QStringList args;
        const char* said;
    } cases[] = {
        {{"defaults"}, "--yes"},       {{"log", "clear"}, "--yes"},
        {{"flash", "x.hex"}, "--yes"}, {{"receive"}, "usage: vorkal-cli receive"},
        {{"sing"}, "unknown command"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args, false);
        EXPECT_EQ(r.exitCode, 2) << Describe(r);
        EXPECT_TRUE(r.err.contains(c.said)) << Describe(r);
        EXPECT_TRUE(r.out.isEmpty()) << Describe(r);
    }
    // No port given and none stored.
    const CliRun r = run({"info"}, false);
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_TRUE(r.err.contains("--port COMn")) << Describe(r);
}

TEST_F(CliTest, HelpListsEveryCommandAndTheExitCodes) {
    const CliRun all = run({"--help"}, false);
    ASSERT_EQ(all.exitCode, 0) << Describe(all);
    for (const char* command : {"ports", "info", "receive FILE.set", "send FILE.set", "defaults --yes", "set-baud BAUD",
                                "log download OUT", "log clear --yes", "flash FIRMWARE.hex --yes"})
        EXPECT_TRUE(all.out.contains(QString("  ") + command)) << command;
    for (const char* code : {"  2    usage", "  3    port", "  4    display", "  5    file", "  130  cancelled"})
        EXPECT_TRUE(all.out.contains(code)) << code;

    for (const QStringList& command :
         {QStringList{"send"}, {"log", "download"}, {"flash"}, {"set-baud"}, {"ports"}, {"defaults"}}) {
        const CliRun r = run(command + QStringList{"--help"}, false);
        EXPECT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_TRUE(r.out.startsWith("usage: vorkal-cli " + command.join(' '))) << Describe(r);
    }
    // What set-baud does to the next call must be found where a script writer looks.
    const QString setBaud = run({"set-baud", "--help"}, false).out.simplified();
    EXPECT_TRUE(setBaud.contains("Without --speed the new speed is also stored as the PC's speed")) << setBaud.toStdString();
    EXPECT_TRUE(setBaud.contains("gives --speed to each call")) << setBaud.toStdString();
}

TEST_F(CliTest, PolishReachesTheNotesErrorsHelpAndResults) {
    struct Case {
        QStringList args;
        int exitCode;
        const char* said;  // on standard error, or on standard output for help
        const char* english;
    } cases[] = {
        {{"defaults"}, 2, "Dodaj --yes, aby kontynuować.", "Add --yes"},
        {{"flash", "x.hex"}, 2, "flash nadpisuje oprogramowanie wyświetlacza.", "overwrites"},
        {{"sing"}, 2, "(vorkal-cli --help wypisuje polecenia)", "lists the commands"},
        {{"--help"}, 0, "Kody wyjścia:", "Exit codes"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args + QStringList{"--lang", "pl"}, false);
        EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
        EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(c.said))) << Describe(r);
        EXPECT_FALSE((r.out + r.err).contains(c.english)) << Describe(r);
    }
    startDisplay();
    const QString received = file("r.set");
    ASSERT_EQ(run({"receive", received, "--quiet"}).exitCode, 0);
    const CliRun sent = run({"send", received, "--lang", "pl"});
    ASSERT_EQ(sent.exitCode, 0) << Describe(sent);
    EXPECT_TRUE(sent.out.startsWith(QString::fromUtf8("kopia zapasowa: ") + backupFolder())) << Describe(sent);
}
