#include "job/FileHelpers.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell {
namespace {

void touch(const std::filesystem::path& file)
{
    std::ofstream(file) << "x";
}

TEST(NormalizePath, CollapsesDoubledSeparatorsAndMakesALeadingRunOne)
{
    EXPECT_EQ(normalizePath("C:/Pictures//result.jpg"), "C:/Pictures/result.jpg");
    EXPECT_EQ(normalizePath("out/result.jpg"), "out/result.jpg");
    EXPECT_EQ(normalizePath("a///b"), "a//b");            // one pass: three become two
    EXPECT_EQ(normalizePath("a////b"), "a//b");
    EXPECT_EQ(normalizePath("C:/" "/result.jpg"), "C:/result.jpg");
    EXPECT_EQ(normalizePath("////home/me//x"), "/home/me/x");
    EXPECT_EQ(normalizePath("//home/me/x"), "/home/me/x");
    EXPECT_EQ(normalizePath("/tmp/out//result.jpg"), "/tmp/out/result.jpg");
    EXPECT_EQ(normalizePath(""), "");
}

TEST(FolderExists, OnlyDirectoriesCount)
{
    test::TempDir dir;
    touch(dir / "file.txt");
    EXPECT_TRUE(folderExists(dir.path().string()));
    EXPECT_TRUE(folderExists(dir.path().string() + "/"));
    EXPECT_FALSE(folderExists((dir / "file.txt").string()));
    EXPECT_FALSE(folderExists((dir / "missing").string()));
    EXPECT_FALSE(folderExists(""));
}

TEST(FileExists, TrueWhenTheDateStampCanBeRead)
{
    test::TempDir dir;
    touch(dir / "file.txt");
    EXPECT_TRUE(fileExists((dir / "file.txt").string()));
    EXPECT_TRUE(fileExists(dir.path().string()));   // a folder has a date stamp too
    EXPECT_FALSE(fileExists((dir / "missing.txt").string()));
    EXPECT_FALSE(fileExists(""));
}

TEST(DeleteFileForced, DeletesReadOnlyFilesWildcardsAndNeverRaises)
{
    test::TempDir dir;
    test::FakeUi ui;
    touch(dir / "result.jpg");
    std::filesystem::permissions(dir / "result.jpg", std::filesystem::perms::owner_read);
    deleteFileForced(ui, (dir / "result.jpg").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "result.jpg"));
    EXPECT_EQ(ui.yields, 1);

    for (const char* name : {"Morph_0.bmp", "Morph_1.bmp", "Morph_12.bmp", "Morph_x.txt", "temp.bmp"})
        touch(dir / name);
    std::filesystem::create_directory(dir / "Morph_dir.bmp");
    deleteFileForced((dir / "Morph_*.bmp").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "Morph_0.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Morph_12.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Morph_x.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "temp.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Morph_dir.bmp"));   // folders are never deleted
    deleteFileForced((dir / "temp.?mp").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "temp.bmp"));

    deleteFileForced((dir / "missing.jpg").string());
    deleteFileForced((dir / "missing-folder" / "*.jpg").string());
    deleteFileForced("");
    EXPECT_TRUE(std::filesystem::exists(dir / "Morph_x.txt"));
}

TEST(SpecialFolderPath, ShellBufferAndDesktopWithTrailingSeparator)
{
    test::TempDir home;
    const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string savedXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);

    // No desktop folder: the home folder stands in.
    EXPECT_EQ(specialFolderPath(csidl::Desktop), "");
    EXPECT_EQ(desktopFolderPath(), home.path().string() + "/");

    std::filesystem::create_directory(home / "Desktop");
    const std::string buffer = specialFolderPath(csidl::Desktop);
    ASSERT_EQ(buffer.size(), 512u);
    const std::string desktop = (home / "Desktop").string();
    EXPECT_EQ(buffer.substr(0, desktop.size()), desktop);
    EXPECT_EQ(buffer[desktop.size()], '\0');
    EXPECT_EQ(buffer.back(), ' ');
    EXPECT_EQ(desktopFolderPath(), desktop + "/");
    EXPECT_EQ(specialFolderPath(12345), "");

    setenv("HOME", saved.c_str(), 1);
    if (savedXdg.empty())
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

}  // namespace
}  // namespace vantorell
