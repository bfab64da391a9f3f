// Writes the installed programs' icons as <folder>/<size>x<size>/apps/<program>.png for each
// size given, from the drawings the windows use.

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "resources/Icons.h"

using namespace quillon;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: quillon_icon_files FOLDER SIZE...\n", stderr);
        return 2;
    }
    // Drawing needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const std::pair<const char*, Program> programs[] = {
        {"quillon", Program::kQuillon},
        {"quillon-printer", Program::kVirtualPrinter},
    };
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        for (const auto& [name, program] : programs) {
            const QString path = apps + "/" + name + ".png";
            if (size <= 0 || !QDir().mkpath(apps) || !ProgramPicture(program, size).save(path)) {
                std::fprintf(stderr, "quillon_icon_files: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
