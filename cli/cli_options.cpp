#include "cli_options.h"

#include <array>

namespace vorkal::cli {

namespace {

constexpr std::array<int, 5> kBauds = {57600, 38400, 19200, 9600, 4800};

struct CommandHelp {
    const char* name;
    int arguments;  // how many the command takes
    const char* usage;
    const char* usagePolish;
    const char* text;
    const char* textPolish;
};

const CommandHelp kCommands[] = {
    {"ports", 0, "ports [--json]", "ports [--json]",
     "List the serial ports as the window's port list shows them, with the device\n"
     "and the USB adapter (maker, product, serial number) behind each.\n",
     "Wypisz porty szeregowe tak, jak pokazuje je lista portów okna, z urządzeniem\n"
     "i adapterem USB (producent, produkt, numer seryjny) stojącym za każdym z nich.\n"},
    {"info", 0, "info [--json]", "info [--json]",
     "Connect and print the display's firmware version, variant, whether it keeps its\n"
     "log in memory of its own, and the speed. With --json the version stands alone\n"
     "and the variant mark of the version line (\"+\", \"*\" or none) has a field of\n"
     "its own, \"variantMark\".\n",
     "Połącz się i wypisz wersję oprogramowania wyświetlacza, jego wariant, to, czy\n"
     "trzyma log w osobnej pamięci, oraz prędkość. Z --json wersja stoi osobno, a znak\n"
     "wariantu z linii wersji (\"+\", \"*\" lub brak) ma własne pole \"variantMark\".\n"},
    {"receive", 1, "receive FILE.set", "receive PLIK.set", "Read the display's configuration into a settings file.\n",
     "Odczytaj konfigurację wyświetlacza do pliku ustawień.\n"},
    {"send", 1, "send FILE.set [--no-backup]", "send PLIK.set [--no-backup]",
     "Write a settings file to the display. What the display held is read and kept\n"
     "as a backup first (in backups/ of the program's data folder); when that read or\n"
     "the backup fails, nothing is sent. --no-backup skips the backup.\n",
     "Zapisz plik ustawień do wyświetlacza. Najpierw to, co wyświetlacz zawierał,\n"
     "jest odczytywane i zachowywane jako kopia zapasowa (w backups/ folderu danych\n"
     "programu); gdy ten odczyt lub kopia się nie uda, nic nie jest wysyłane.\n"
     "--no-backup pomija kopię zapasową.\n"},
    {"defaults", 0, "defaults --yes [--no-backup]", "defaults --yes [--no-backup]",
     "Load the factory settings into the display (after a backup, as for send) and\n"
     "reset it. It restarts at the speed of the factory settings.\n",
     "Wczytaj do wyświetlacza ustawienia fabryczne (po kopii zapasowej, jak przy send)\n"
     "i zrestartuj go. Uruchamia się ponownie z prędkością ustawień fabrycznych.\n"},
    {"set-baud", 1, "set-baud BAUD", "set-baud PRĘDKOŚĆ",
     "Change the display's speed to BAUD (57600, 38400, 19200, 9600 or 4800) and\n"
     "check that it answers at the new speed.\n"
     "Without --speed the new speed is also stored as the PC's speed, as the window's\n"
     "speed list does: the window and every later vorkal-cli call without --speed use\n"
     "it. A loop over several displays at the old speed therefore gives --speed to\n"
     "each call, which leaves the stored speed alone.\n",
     "Zmień prędkość wyświetlacza na PRĘDKOŚĆ (57600, 38400, 19200, 9600 lub 4800)\n"
     "i sprawdź, czy odpowiada przy nowej prędkości.\n"
     "Bez --speed nowa prędkość zostaje też zapamiętana jako prędkość PC, tak jak robi\n"
     "to lista prędkości okna: użyją jej okno i każde następne wywołanie vorkal-cli bez\n"
     "--speed. Pętla po kilku wyświetlaczach ze starą prędkością podaje więc --speed\n"
     "w każdym wywołaniu, co zostawia zapamiętaną prędkość bez zmian.\n"},
    {"log download", 1, "log download OUT [--extruded]", "log download WYJŚCIE [--extruded]",
     "Download the flight log and save it; the extension picks the format: .txt\n"
     "(text), .kml (KML track; --extruded draws it down to the ground) or .gpx.\n",
     "Pobierz log lotów i zapisz go; rozszerzenie wybiera format: .txt (tekst),\n"
     ".kml (ślad KML; --extruded rysuje go aż do ziemi) lub .gpx.\n"},
    {"log clear", 0, "log clear --yes", "log clear --yes", "Erase every flight recorded in the display.\n",
     "Skasuj wszystkie loty zapisane w wyświetlaczu.\n"},
    {"flash", 1, "flash FIRMWARE.hex --yes", "flash OPROGRAMOWANIE.hex --yes",
     "Update the display's firmware from an Intel HEX file through its boot loader:\n"
     "the file is read and checked before the port is opened, then the display is\n"
     "identified and the image programmed and verified. A display that no longer\n"
     "answers because it waits in its boot loader (after a failed update) is\n"
     "updated all the same. Once the display is identified, the update cannot be\n"
     "stopped: Ctrl+C then only says so, and the update runs to its end.\n",
     "Zaktualizuj oprogramowanie wyświetlacza z pliku Intel HEX przez jego program\n"
     "ładujący: plik jest wczytywany i sprawdzany przed otwarciem portu, potem\n"
     "wyświetlacz jest identyfikowany, a obraz programowany i weryfikowany.\n"
     "Wyświetlacz, który nie odpowiada, bo czeka w programie ładującym (po nieudanej\n"
     "aktualizacji), też zostanie zaktualizowany. Od identyfikacji wyświetlacza\n"
     "aktualizacji nie można przerwać: Ctrl+C tylko o tym informuje, a aktualizacja\n"
     "trwa do końca.\n"},
};

const CommandHelp* FindCommand(const QStringList& words) {
    const QString name = words.join(' ');
    for (const CommandHelp& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

QString UsageOf(const CommandHelp& c, bool polish) { return Tr(polish, c.usage, c.usagePolish); }

const char kCommon[] =
    "Options:\n"
    "  --port COMn      the port (default: the one the window opened last)\n"
    "  --device PATH    the port by its device, e.g. /dev/ttyUSB0\n"
    "  --speed BAUD     the PC's speed (default: the window's stored speed, else 57600)\n"
    "  --quiet          no progress on standard error\n"
    "  --wait           wait for the port to appear (an adapter plugged in) first\n"
    "  --each           flash, send and receive: wait for a display on the port (without\n"
    "                   --port or --device: on any port that appears), do the command,\n"
    "                   wait for it to be unplugged, and so on for every display until\n"
    "                   Ctrl+C; receive numbers its files (FILE-1.set, FILE-2.set, ...).\n"
    "                   Ends with a count of the displays done and failed, and exit\n"
    "                   code 0 only when none failed.\n"
    "  --lang pl        Polish texts (default English)\n"
    "  --log FILE       a trace for a report: every line in and out with its time,\n"
    "                   each state change and each error (FILE.1 keeps the part before)\n"
    "  --help           help, also after a command\n"
    "\n"
    "Progress goes to standard error: a bar with percent, bytes and time left on a\n"
    "terminal, plain percent lines otherwise. Results go to standard output.\n"
    "Ctrl+C cancels the running transfer as the window's Cancel does and closes the port;\n"
    "a firmware update that has identified the display and a load of the factory\n"
    "settings are never stopped.\n"
    "\n"
    "Exit codes:\n"
    "  0    done\n"
    "  2    usage error\n"
    "  3    port error (cannot open, no permission, held by another program, gone)\n"
    "  4    display error (no answer, time-out, refused block, firmware the boot\n"
    "       loader refuses or that fails verification)\n"
    "  5    file error (cannot read or write, not a settings file for this display,\n"
    "       not the display's firmware)\n"
    "  130  cancelled with Ctrl+C\n";

const char kCommonPolish[] =
    "Opcje:\n"
    "  --port COMn      port (domyślnie ten, który okno otworzyło ostatnio)\n"
    "  --device ŚCIEŻKA port wskazany urządzeniem, np. /dev/ttyUSB0\n"
    "  --speed PRĘDKOŚĆ prędkość PC (domyślnie zapamiętana przez okno, inaczej 57600)\n"
    "  --quiet          bez postępu na standardowym wyjściu błędów\n"
    "  --wait           najpierw poczekaj, aż port się pojawi (podłączenie adaptera)\n"
    "  --each           flash, send i receive: czekaj na wyświetlacz na porcie (bez\n"
    "                   --port i --device: na dowolnym porcie, który się pojawi), wykonaj\n"
    "                   polecenie, poczekaj na jego odłączenie i tak dalej dla każdego\n"
    "                   wyświetlacza aż do Ctrl+C; receive numeruje pliki (PLIK-1.set,\n"
    "                   PLIK-2.set, ...). Kończy liczbą wyświetlaczy wykonanych\n"
    "                   i nieudanych, z kodem wyjścia 0 tylko wtedy, gdy wszystkie się\n"
    "                   powiodły.\n"
    "  --lang pl        teksty po polsku (domyślnie po angielsku)\n"
    "  --log PLIK       ślad do zgłoszenia błędu: każdy wiersz wysłany i odebrany z czasem,\n"
    "                   każda zmiana stanu i każdy błąd (PLIK.1 zachowuje część wcześniejszą)\n"
    "  --help           pomoc, także po poleceniu\n"
    "\n"
    "Postęp trafia na standardowe wyjście błędów: na terminalu pasek z procentem,\n"
    "bajtami i pozostałym czasem, w innym razie same wiersze z procentem. Wyniki\n"
    "trafiają na standardowe wyjście.\n"
    "Ctrl+C przerywa trwające przesyłanie tak jak przycisk Anuluj okna i zamyka port;\n"
    "aktualizacji oprogramowania, która zidentyfikowała wyświetlacz, ani wczytywania\n"
    "ustawień fabrycznych nie można przerwać.\n"
    "\n"
    "Kody wyjścia:\n"
    "  0    wykonano\n"
    "  2    błąd użycia\n"
    "  3    błąd portu (nie można otworzyć, brak uprawnień, zajęty przez inny program,\n"
    "       zniknął)\n"
    "  4    błąd wyświetlacza (brak odpowiedzi, przekroczony czas, odrzucony blok,\n"
    "       oprogramowanie odrzucone przez program ładujący lub niezgodne przy\n"
    "       weryfikacji)\n"
    "  5    błąd pliku (nie można odczytać ani zapisać, nie jest plikiem ustawień dla\n"
    "       tego wyświetlacza, nie jest oprogramowaniem wyświetlacza)\n"
    "  130  przerwano przez Ctrl+C\n";

}  // namespace

std::optional<int> SpeedIndexOfBaud(int baud) {
    for (size_t i = 0; i < kBauds.size(); ++i)
        if (kBauds[i] == baud) return int(i);
    return std::nullopt;
}

int BaudOfSpeedIndex(int index) { return index >= 0 && index < int(kBauds.size()) ? kBauds[size_t(index)] : 57600; }

QString HelpText(const QStringList& command, bool polish) {
    const QString common = Tr(polish, kCommon, kCommonPolish);
    if (const CommandHelp* c = FindCommand(command))
        return Tr(polish, "usage: vorkal-cli %1 [options]\n\n%2\n%3", "użycie: vorkal-cli %1 [opcje]\n\n%2\n%3")
            .arg(UsageOf(*c, polish), Tr(polish, c->text, c->textPolish), common);
    QString text = Tr(polish,
                      "usage: vorkal-cli COMMAND [ARGUMENTS] [options]\n"
                      "The Vorkal display's commands without a window.\n\nCommands:\n",
                      "użycie: vorkal-cli POLECENIE [ARGUMENTY] [opcje]\n"
                      "Polecenia wyświetlacza Vorkal bez okna.\n\nPolecenia:\n");
    for (const CommandHelp& c : kCommands) text += QString("  %1\n").arg(UsageOf(c, polish));
    return text + "\n" + common;
}

ParseResult ParseCommandLine(const QStringList& args) {
    ParseResult r;
    Options& o = r.options;
    // The language first, so that every complaint about the rest is in it.
    for (int i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--lang" && args[i + 1] == "pl") o.polish = true;
    const bool pl = o.polish;
    QStringList words;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                r.error = Tr(pl, "%1 needs a value", "%1 wymaga wartości").arg(a);
                return false;
            }
            *out = args[++i];
            return true;
        };
        QString v;
        if (a == "--help" || a == "-h") o.help = true;
        else if (a == "--json") o.json = true;
        else if (a == "--quiet" || a == "-q") o.quiet = true;
        else if (a == "--yes") o.yes = true;
        else if (a == "--no-backup") o.noBackup = true;
        else if (a == "--extruded") o.extruded = true;
        else if (a == "--wait") o.wait = true;
        else if (a == "--each") o.each = true;
        else if (a == "--port") {
            if (!value(&v)) return r;
            bool ok = false;
            const int n = v.startsWith("COM", Qt::CaseInsensitive) ? v.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > 255) {
                r.error = Tr(pl, "--port takes COM1 .. COM255, not %1", "--port przyjmuje COM1 .. COM255, a nie %1")
                              .arg(v);
                return r;
            }
            o.comNumber = n;
        } else if (a == "--device") {
            if (!value(&o.devicePath)) return r;
        } else if (a == "--log") {
            if (!value(&o.logFile)) return r;
        } else if (a == "--speed") {
            if (!value(&v)) return r;
            o.speedIndex = SpeedIndexOfBaud(v.toInt());
            if (!o.speedIndex) {
                r.error = Tr(pl, "--speed is 57600, 38400, 19200, 9600 or 4800, not %1",
                             "--speed to 57600, 38400, 19200, 9600 lub 4800, a nie %1")
                              .arg(v);
                return r;
            }
        } else if (a == "--lang") {
            if (!value(&v)) return r;
            if (v != "pl" && v != "en") {
                r.error = Tr(pl, "--lang is en or pl, not %1", "--lang to en lub pl, a nie %1").arg(v);
                return r;
            }
            o.polish = v == "pl";
        } else if (a.startsWith('-') && a.size() > 1) {
            r.error = Tr(pl, "unknown option %1", "nieznana opcja %1").arg(a);
            return r;
        } else {
            words << a;
        }
    }
    if (o.comNumber && !o.devicePath.isEmpty()) {
        r.error = Tr(pl, "--port and --device name the port twice: give one",
                     "--port i --device podają port dwukrotnie: podaj jedno z nich");
        return r;
    }
    if (words.isEmpty()) {
        if (!o.help) r.error = Tr(pl, "no command given", "nie podano polecenia");
        return r;
    }
    const int nameWords = words[0] == "log" ? 2 : 1;
    o.command = words.mid(0, nameWords);
    o.arguments = words.mid(nameWords);
    const CommandHelp* c = FindCommand(o.command);
    if (!c) {
        r.error = Tr(pl, "unknown command %1", "nieznane polecenie %1").arg(o.command.join(' '));
        return r;
    }
    if (o.help) return r;
    const QString name = o.command.join(' ');
    if (o.each && name != "flash" && name != "send" && name != "receive") {
        r.error = Tr(pl, "--each works with flash, send and receive", "--each działa z flash, send i receive");
        return r;
    }
    if (o.wait && name == "ports") {
        r.error = Tr(pl, "--wait works with the display commands, not with ports",
                     "--wait działa z poleceniami wyświetlacza, nie z ports");
        return r;
    }
    if (o.arguments.size() != c->arguments) {
        r.error = Tr(pl, "usage: vorkal-cli %1", "użycie: vorkal-cli %1").arg(UsageOf(*c, pl));
        return r;
    }
    return r;
}

}  // namespace vorkal::cli
