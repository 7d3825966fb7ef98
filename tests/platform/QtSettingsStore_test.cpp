// The QSettings store: string values by application, section and key in an INI file, absent
// keys, empty values, damaged files and a location that cannot be written.
#include "platform/QtSettingsStore.h"
#include "platform/RuntimeError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell::test {
namespace {

void writeText(const std::filesystem::path& file, std::string_view text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

TEST(QtSettingsStore, ValuesRoundTripThroughTheFile)
{
    TempDir dir;
    {
        QtSettingsStore store(dir.path());
        EXPECT_EQ(store.fileFor("Hedracor"), dir.path() / "Hedracor" / "Hedracor.ini");
        EXPECT_FALSE(store.value("Hedracor", "Vantorell", "Image 1").has_value());
        EXPECT_EQ(store.get("Hedracor", "Vantorell", "Number Of Images", "10"), "10");
        store.set("Hedracor", "Vantorell", "Image 1", "/pics/a, b=c;d #e.jpg");
        store.set("Hedracor", "Vantorell", "Number Of Images", "");
        store.set("Hedracor", "Vantorell", "Option5", "True");
        store.set("Hedracor", "Vantorell", "Text3", "@Variant(x) \\ \"q\"");
        store.set("Hedracor", "Other", "Option5", "False");
    }
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "Hedracor" / "Hedracor.ini"));

    QtSettingsStore again(dir.path());
    EXPECT_EQ(again.value("Hedracor", "Vantorell", "Image 1"), "/pics/a, b=c;d #e.jpg");
    EXPECT_EQ(again.value("Hedracor", "Vantorell", "Number Of Images"), "");   // present but empty
    EXPECT_EQ(again.get("Hedracor", "Vantorell", "Number Of Images", "10"), "");
    EXPECT_EQ(again.value("Hedracor", "Vantorell", "Option5"), "True");
    EXPECT_EQ(again.value("Hedracor", "Vantorell", "Text3"), "@Variant(x) \\ \"q\"");
    EXPECT_EQ(again.value("Hedracor", "Other", "Option5"), "False");
}

TEST(QtSettingsStore, HandEditedFileIsReadAsStrings)
{
    TempDir dir;
    writeText(dir.path() / "Hedracor" / "Hedracor.ini",
              "[Vantorell]\nImage%201=/a,b.jpg\nSlider1=abc\nOption5=99999999999999999999999\n");
    QtSettingsStore store(dir.path());
    EXPECT_EQ(store.value("Hedracor", "Vantorell", "Image 1"), "/a,b.jpg");
    EXPECT_EQ(store.value("Hedracor", "Vantorell", "Slider1"), "abc");
    EXPECT_EQ(store.value("Hedracor", "Vantorell", "Option5"), "99999999999999999999999");
}

TEST(QtSettingsStore, DamagedFileReadsAsEmptyAndIsWrittenAgain)
{
    TempDir dir;
    const auto file = dir.path() / "Hedracor" / "Hedracor.ini";
    std::string garbage = "\x89PNG\r\n\x1a\n[Vantorell\n=\n\xff\xfe[[[]]]=\n";
    garbage += std::string("\0\0\0", 3);
    writeText(file, garbage);
    QtSettingsStore store(dir.path());
    EXPECT_FALSE(store.value("Hedracor", "Vantorell", "Slider1").has_value());
    EXPECT_NO_THROW(store.set("Hedracor", "Vantorell", "Slider1", "40"));
    QtSettingsStore again(dir.path());
    EXPECT_EQ(again.value("Hedracor", "Vantorell", "Slider1"), "40");
}

TEST(QtSettingsStore, UnwritableLocationRaisesAFileAccessError)
{
    TempDir dir;
    writeText(dir.path() / "blocker", "a file where the settings folder should be");
    QtSettingsStore store(dir.path() / "blocker");
    EXPECT_FALSE(store.value("Hedracor", "Vantorell", "Slider1").has_value());
    try {
        store.set("Hedracor", "Vantorell", "Slider1", "40");
        FAIL() << "the write should fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), errnum::FileAccessError);
        EXPECT_NE(error.description().find("cannot be written"), std::string::npos);
    }
}

}  // namespace
}  // namespace vantorell::test
