// The QSettings store: string values by application, section and key in an INI file, absent
// keys, empty values, damaged files and a location that cannot be written.
#include "platform/QtSettingsStore.h"
#include "platform/RuntimeError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

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
    EXPECT_FALSE(store.takeNotice().has_value());
}

// A file this store cannot have written is set aside unread (kept as it was), said once, and
// the store starts empty and is written afresh.
TEST(QtSettingsStore, DamagedFileIsSetAsideAndTheStoreStartsAfresh)
{
    std::string garbage = "\x89PNG\r\n\x1a\n[Vantorell\n=\n\xff\xfe[[[]]]=\n";
    garbage += std::string("\0\0\0", 3);
    const struct Case {
        const char* what;
        std::string bytes;   // empty: a folder at the file's name
    } cases[] = {
        {"not text", garbage},
        {"not text", "[Vantorell]\nImage%201=caf\xe9.jpg\n"},
        {"over 1 MB", std::string(1 << 20, '\n') + "[Vantorell]\n"},
        {"a line over 64 KB", "[Vantorell]\nImage%201=" + std::string(64 << 10, 'x') + "\n"},
        {"not a file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto file = dir.path() / "Hedracor" / "Hedracor.ini";
        if (c.bytes.empty())
            std::filesystem::create_directories(file / "inside");
        else
            writeText(file, c.bytes);
        QtSettingsStore store(dir.path());
        EXPECT_FALSE(store.value("Hedracor", "Vantorell", "Image 1").has_value());
        const std::optional<std::string> notice = store.takeNotice();
        ASSERT_TRUE(notice.has_value());
        EXPECT_NE(notice->find(std::string("(") + c.what + ")"), std::string::npos) << *notice;
        EXPECT_FALSE(store.takeNotice().has_value()) << "said once";
        std::vector<std::filesystem::path> aside;
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
            if (entry.path().filename().string().starts_with("Hedracor.ini.damaged-"))
                aside.push_back(entry.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_NE(notice->find(aside[0].string()), std::string::npos) << *notice;
        if (!c.bytes.empty())
            EXPECT_EQ(std::filesystem::file_size(aside[0]), c.bytes.size()) << "kept as it was";
        EXPECT_NO_THROW(store.set("Hedracor", "Vantorell", "Slider1", "40"));
        QtSettingsStore again(dir.path());
        EXPECT_EQ(again.value("Hedracor", "Vantorell", "Slider1"), "40");
        EXPECT_FALSE(again.takeNotice().has_value());
    }
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
