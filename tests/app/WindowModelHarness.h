// A WindowModel on a scripted UiPort and a memory settings store, with its program and desktop
// folders in a fresh temporary folder and the start-up's random draw fixed.
#pragma once

#include "app/WindowModel.h"
#include "support/FakeUi.h"
#include "support/MemorySettings.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace vantorell::test {

struct WindowModelHarness {
    TempDir dir;
    FakeUi ui;
    MemorySettings settings;
    double randomDraw = 0.5;   // draws 51: no home page
    std::unique_ptr<WindowModel> form;

    WindowModelHarness() { std::filesystem::create_directories(programFolder()); }

    std::filesystem::path programFolder() const { return dir.path() / "bin"; }
    std::filesystem::path desktop() const { return dir.path() / "Desktop"; }

    WindowEnvironment environment()
    {
        WindowEnvironment environment;
        environment.programFolder = programFolder();
        environment.desktopFolder = desktop();
        environment.random = [this] { return randomDraw; };
        return environment;
    }

    // Creates the window and runs its start-up, as the program does.
    WindowModel& load()
    {
        form = std::make_unique<WindowModel>(ui, settings, environment());
        form->load();
        return *form;
    }

    void writeFile(const std::filesystem::path& file, std::string_view bytes)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

}  // namespace vantorell::test
