// lumora-make-icon: writes the program icon as a PNG file at build time.
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "gui/Artwork.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumora-make-icon SIZE FILE.png\n");
        return 2;
    }
    // Only pictures are drawn: no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 1024 || !DrawProgramIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "lumora-make-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
