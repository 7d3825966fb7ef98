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

TEST(NormalizePath, CollapsesDoubledSeparatorsAndMakesALeadingRunExactlyTwo)
{
    EXPECT_EQ(NormalizePath("C:/Pictures//result.jpg"), "C:/Pictures/result.jpg");
    EXPECT_EQ(NormalizePath("out/result.jpg"), "out/result.jpg");
    EXPECT_EQ(NormalizePath("a///b"), "a//b");            // one pass: three become two
    EXPECT_EQ(NormalizePath("a////b"), "a//b");
    EXPECT_EQ(NormalizePath("C:/" "/result.jpg"), "C:/result.jpg");
    EXPECT_EQ(NormalizePath("////server/share//x"), "//server/share/x");
    EXPECT_EQ(NormalizePath("//server/share/x"), "//server/share/x");
    EXPECT_EQ(NormalizePath("/tmp/out//result.jpg"), "//tmp/out/result.jpg");
    EXPECT_EQ(NormalizePath(""), "");
}

TEST(FolderExists, OnlyDirectoriesCount)
{
    test::TempDir dir;
    touch(dir / "file.txt");
    EXPECT_TRUE(FolderExists(dir.path().string()));
    EXPECT_TRUE(FolderExists(dir.path().string() + "/"));
    EXPECT_FALSE(FolderExists((dir / "file.txt").string()));
    EXPECT_FALSE(FolderExists((dir / "missing").string()));
    EXPECT_FALSE(FolderExists(""));
}

TEST(FileExists, TrueWhenTheDateStampCanBeRead)
{
    test::TempDir dir;
    touch(dir / "file.txt");
    EXPECT_TRUE(FileExists((dir / "file.txt").string()));
    EXPECT_TRUE(FileExists(dir.path().string()));   // a folder has a date stamp too
    EXPECT_FALSE(FileExists((dir / "missing.txt").string()));
    EXPECT_FALSE(FileExists(""));
}

TEST(DeleteFileForced, DeletesReadOnlyFilesWildcardsAndNeverRaises)
{
    test::TempDir dir;
    test::FakeUi ui;
    touch(dir / "result.jpg");
    std::filesystem::permissions(dir / "result.jpg", std::filesystem::perms::owner_read);
    DeleteFileForced(ui, (dir / "result.jpg").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "result.jpg"));
    EXPECT_EQ(ui.yields, 1);

    for (const char* name : {"Morph_0.bmp", "Morph_1.bmp", "Morph_12.bmp", "Morph_x.txt", "temp.bmp"})
        touch(dir / name);
    std::filesystem::create_directory(dir / "Morph_dir.bmp");
    DeleteFileForced((dir / "Morph_*.bmp").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "Morph_0.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Morph_12.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Morph_x.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "temp.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Morph_dir.bmp"));   // folders are never deleted
    DeleteFileForced((dir / "temp.?mp").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "temp.bmp"));

    DeleteFileForced((dir / "missing.jpg").string());
    DeleteFileForced((dir / "missing-folder" / "*.jpg").string());
    DeleteFileForced("");
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
    EXPECT_EQ(SpecialFolderPath(csidl::Desktop), "");
    EXPECT_EQ(DesktopFolderPath(), home.path().string() + "/");

    std::filesystem::create_directory(home / "Desktop");
    const std::string buffer = SpecialFolderPath(csidl::Desktop);
    ASSERT_EQ(buffer.size(), 512u);
    const std::string desktop = (home / "Desktop").string();
    EXPECT_EQ(buffer.substr(0, desktop.size()), desktop);
    EXPECT_EQ(buffer[desktop.size()], '\0');
    EXPECT_EQ(buffer.back(), ' ');
    EXPECT_EQ(DesktopFolderPath(), desktop + "/");
    EXPECT_EQ(SpecialFolderPath(12345), "");

    setenv("HOME", saved.c_str(), 1);
    if (savedXdg.empty())
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

}  // namespace
}  // namespace vantorell
