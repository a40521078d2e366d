// lumora: the desktop program.
#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPixmap>

#include "gui/Artwork.h"
#include "gui/LumoraDlg.h"
#include "gui/Screenshots.h"

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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(DrawProgramIcon(256))));
    ChooseFont(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Downloads whole photo albums of a community member in one batch."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Put <url> into the address box instead of the clipboard text."),
                                     QStringLiteral("url"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Get the albums of --address, save screenshots into <folder> and quit."),
        QStringLiteral("folder"));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("Start without the splash window."));
    parser.addOptions({address, screenshot, noSplash});
    parser.process(app);

    CLumoraDlg::Options options;
    options.splash = !parser.isSet(noSplash) && !parser.isSet(screenshot);
    if (parser.isSet(address)) options.address = parser.value(address);
    CLumoraDlg window(options);
    if (parser.isSet(screenshot)) return RunScreenshotTour(window, parser.value(screenshot));
    window.Start();
    return app.exec();
}
