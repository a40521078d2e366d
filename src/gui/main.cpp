// lumora: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

#include <cstring>

#include "gui/Artwork.h"
#include "gui/LumoraDlg.h"
#include "gui/Screenshots.h"
#include "LumoraVersion.h"

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
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Get the albums of --address, save screenshots into <folder> and quit."),
                                  QStringLiteral("folder")};
    QCommandLineOption noSplash{QStringLiteral("no-splash"), QStringLiteral("Start without the splash window.")};

    CommandLine() {
        parser.setApplicationDescription(
            QStringLiteral("Downloads whole photo albums of a community member in one batch."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({address, screenshot, noSplash});
    }
};

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
    if (AsksOnlyForText(argc, argv)) {
        QCoreApplication app(argc, argv);
        Describe(app);
        CommandLine commandLine;
        commandLine.parser.process(app);  // prints and exits
        // An option's value that only looked like one: go on as usual.
    }

    QApplication app(argc, argv);
    Describe(app);
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(DrawProgramIcon(256))));
    ChooseFont(app);
    LoadQtTranslation(app);

    CommandLine commandLine;
    commandLine.parser.process(app);

    CLumoraDlg::Options options;
    options.splash = !commandLine.parser.isSet(commandLine.noSplash) && !commandLine.parser.isSet(commandLine.screenshot);
    if (commandLine.parser.isSet(commandLine.address)) options.address = commandLine.parser.value(commandLine.address);
    CLumoraDlg window(options);
    if (commandLine.parser.isSet(commandLine.screenshot)) {
        return RunScreenshotTour(window, commandLine.parser.value(commandLine.screenshot));
    }
    window.Start();
    return app.exec();
}
