// app/gui/main.cpp: the kalvo-desktop program.
#include <cstdio>
#include <cstring>

#include <QApplication>

#include "app/gui/kalvo_app.h"

int main(int argc, char** argv)
{
    // Help and version need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kalvo::ShellUsage().toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("kalvo-desktop 1.0");
            return 0;
        }
    }
    QApplication application(argc, argv);  // takes Qt's own options such as -platform
    QString error;
    const auto command = kalvo::ParseShellCommand(QApplication::arguments(), &error);
    if (!command) {
        std::fprintf(stderr, "kalvo-desktop: %s\n%s", error.toLocal8Bit().constData(),
                     kalvo::ShellUsage().toLocal8Bit().constData());
        return 2;
    }
    kalvo::CKalvoApp theApp;
    if (!theApp.InitInstance(*command))
        return 1;
    return QApplication::exec();
}
