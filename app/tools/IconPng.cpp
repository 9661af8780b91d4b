// Writes the program's icon (the one its windows show) as a PNG file for the desktop
// entry:  kq-icon-png <file> <size in pixels>
#include "res/Icons.h"

#include <QGuiApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) return 2;
    const int size = std::atoi(argv[2]);
    if (size <= 0) return 2;
    return KqPixmap(KqIconId::ReadTag, size).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
