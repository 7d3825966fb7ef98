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

int main(int argc, char* argv[])
{
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
