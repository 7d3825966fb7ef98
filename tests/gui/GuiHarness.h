// The Qt view over a WindowModel on a scripted port and a memory store, for widget tests under the
// offscreen platform (and screenshots under a real X server).
#pragma once

#include "app/WindowModel.h"
#include "gui/MainWindow.h"
#include "support/FakeUi.h"
#include "support/MemorySettings.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

#include <memory>

namespace vantorell::test {

inline QApplication& guiApplication()
{
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        return created;
    }();
    return *app;
}

// Runs the event loop until `done` holds (or 20 s pass).
inline bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

struct GuiHarness {
    TempDir dir;
    FakeUi ui;
    MemorySettings settings;
    std::unique_ptr<WindowModel> form;
    std::unique_ptr<MainWindow> window;

    explicit GuiHarness(WindowEnvironment environment = {})
    {
        guiApplication();
        if (environment.programFolder.empty())
            environment.programFolder = dir.path() / "bin";
        if (environment.desktopFolder.empty())
            environment.desktopFolder = dir.path() / "Desktop";
        environment.random = [] { return 0.5; };
        form = std::make_unique<WindowModel>(ui, settings, environment);
        window = std::make_unique<MainWindow>(*form);
    }

    // Start-up as the program runs it, then the window is shown.
    MainWindow& open()
    {
        form->load();
        window->show();
        QApplication::processEvents();
        return *window;
    }

    template <class W>
    W* widget(const Control& control)
    {
        return qobject_cast<W*>(window->widgetFor(control));
    }
};

}  // namespace vantorell::test
