// lumora: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

#include <cstdio>
#include <cstring>

#include "LumoraVersion.h"
#include "base/StandardStreams.h"
#include "gui/Artwork.h"
#include "gui/LumoraDlg.h"
#include "gui/Screenshots.h"
#include "gui/SingleWindow.h"
#include "settings/SettingsFile.h"

namespace {

// The Chinese texts look best in one CJK family throughout, when it is there.
void ChooseFont(QApplication& app) {
    for (const char* family : {"WenQuanYi Micro Hei", "Noto Sans CJK SC"}) {
        if (QFontDatabase::families().contains(QString::fromLatin1(family))) {
            QFont font(QString::fromLatin1(family));
            font.setPointSize(9);
            app.setFont(font);
            return;
        }
    }
}

// Qt's own texts (message-box buttons, the file and folder pickers) in
// Chinese like the rest of the window, when Qt's translations are installed.
void LoadQtTranslation(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

void Describe(QCoreApplication& app) {
    app.setApplicationName(QStringLiteral("Lumora"));
    app.setApplicationVersion(QStringLiteral(LUMORA_VERSION));
}

struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption address{QStringLiteral("address"),
                               QStringLiteral("Put <url> into the address box instead of the clipboard text."),
                               QStringLiteral("url")};
    QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Get the albums of --address, save screenshots into <folder> and quit."),
        QStringLiteral("folder")};
    QCommandLineOption noSplash{QStringLiteral("no-splash"), QStringLiteral("Start without the splash window.")};
    QCommandLineOption help;

    CommandLine() : help(parser.addHelpOption()) {
        parser.setApplicationDescription(
            QStringLiteral("Downloads whole photo albums of a community member in one batch."));
        parser.addVersionOption();
        parser.addOptions({address, screenshot, noSplash});
    }
};

// What the options do not say, for the help text and so the manual page.
constexpr const char* kHelpEpilogue =
    "\n"
    "Paste a member's album-space address, get the member's albums as a table, pick some\n"
    "and download every picture into one folder per album. The window needs a display;\n"
    "--help and --version do not.\n"
    "\n"
    "Settings are kept in $LUMORA_HOME, else $XDG_CONFIG_HOME/lumora/ (default\n"
    "~/.config/lumora/), and shared with lumora-cli. Every download run is logged to\n"
    "$XDG_STATE_HOME/lumora/lumora.log (default ~/.local/state/lumora/lumora.log).\n";

// The help text names the program as it is called, without the folder it
// was started from: a manual page made from it names no build folder.
void PrintHelp(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const QString program = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    if (text.startsWith(QLatin1String("Usage: ")) && lineEnd > 0 && !program.isEmpty()) {
        text = QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(lineEnd);
    }
    const QByteArray bytes = (text + QString::fromLatin1(kHelpEpilogue)).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

// Help and version need no display: they are printed before the window
// system is reached, also where there is none.
bool AsksOnlyForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    lumora::ReserveStandardStreams();  // no later file or socket takes a closed stream's number
    if (AsksOnlyForText(argc, argv)) {
        QCoreApplication app(argc, argv);
        Describe(app);
        CommandLine commandLine;
        // Options of Qt's own (-platform, -style ...) are unknown here, which
        // does not keep --help from being answered.
        commandLine.parser.parse(app.arguments());
        if (commandLine.parser.isSet(commandLine.help)) {
            PrintHelp(commandLine.parser);
            return 0;
        }
        commandLine.parser.process(app);  // --help-all, --version: prints and exits
        // An option's value that only looked like one: go on as usual.
    }

    QApplication app(argc, argv);
    Describe(app);
    // Desktops match the windows to the installed desktop file (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumora.Lumora"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(DrawProgramIcon(256))));
    ChooseFont(app);
    LoadQtTranslation(app);

    CommandLine commandLine;
    commandLine.parser.process(app);

    CLumoraDlg::Options options;
    options.splash =
        !commandLine.parser.isSet(commandLine.noSplash) && !commandLine.parser.isSet(commandLine.screenshot);
    if (commandLine.parser.isSet(commandLine.address)) options.address = commandLine.parser.value(commandLine.address);
    if (commandLine.parser.isSet(commandLine.screenshot)) {
        CLumoraDlg window(options);
        return RunScreenshotTour(window, commandLine.parser.value(commandLine.screenshot));
    }
    // A second window of the same folder would share its settings, history and downloads.
    CSingleWindow single(lumora::ProgramFolder());
    if (single.OtherIsRunning()) {
        if (AskAboutOtherWindow(nullptr, lumora::ProgramFolder()) == OtherWindowChoice::BringToFront &&
            single.BringOtherToFront()) {
            return 0;
        }
    } else {
        single.Listen();
    }
    CLumoraDlg window(options);
    QObject::connect(&single, &CSingleWindow::frontRequested, &window, [&window] { BringToFront(&window); });
    window.Start();
    return app.exec();
}
