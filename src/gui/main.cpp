// vantorell: the main window. Creating it runs the start-up routine (settings restored from
// the per-user store), then the window is shown and the program lives in its event handlers.
#include "app/WindowModel.h"
#include "gui/MainWindow.h"
#include "gui/QtUiPort.h"
#include "job/FileHelpers.h"
#include "platform/QtSettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>

#include "platform/ProgramVersion.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: vantorell [--help | --version]\n"
    "\n"
    "Opens the Vantorell window: choose two pictures and mix them into a blend or an overlay\n"
    "(a JPEG), or a cross-fade (AVI, MP4, WebM, animated WebP, APNG or animated GIF), with a\n"
    "live preview. The window keeps its choices per user in ~/.config/Hedracor/Hedracor.ini.\n"
    "F1 or the \"User Guide\" button shows the user guide. vantorell-mix(1) runs the same jobs\n"
    "without a window.\n"
    "\n"
    "Options:\n"
    "  --help       show this text\n"
    "  --version    show the program's name and version\n";

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before Qt starts, so they need no display (the manual page is made from them).
    if (argc == 2 && std::string_view(argv[1]) == "--help")
        return std::fputs(kUsage, stdout) >= 0 ? 0 : 1;
    if (argc == 2 && std::string_view(argv[1]) == "--version")
        return std::printf("vantorell %s\n", vantorell::kProgramVersion) > 0 ? 0 : 1;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantorell"));
    QApplication::setOrganizationName(QStringLiteral("Hedracor"));
    QApplication::setDesktopFileName(QStringLiteral("vantorell"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantorell/vantorell.png")));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    vantorell::WindowEnvironment environment;
    environment.programFolder = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString();
    environment.desktopFolder = vantorell::desktopFolderPath();

    vantorell::QtUiPort ui;
    vantorell::QtSettingsStore settings;
    vantorell::WindowModel form(ui, settings, environment);
    vantorell::MainWindow window(form);
    ui.setWindow(&window);

    form.load();
    window.resize(window.sizeHint());   // the whole window, or as much as the screen holds
    window.show();
    return QApplication::exec();
}
