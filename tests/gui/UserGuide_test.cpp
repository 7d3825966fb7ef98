// The user guide opens from its button and from F1 in one window of its own, shows the guide
// and finds every screenshot it links to; Help keeps its box.
#include "GuiHarness.h"

#include <QDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(UserGuide, OpensFromTheButtonAndF1WithItsScreenshots)
{
    GuiHarness h;
    MainWindow& window = h.open();
    const auto guides = [&] { return window.findChildren<QDialog*>(QStringLiteral("userGuideWindow")); };
    auto* button = window.findChild<QPushButton*>(QStringLiteral("userGuideButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("User Guide"));
    QShortcut* f1 = nullptr;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>())
        if (shortcut->key() == QKeySequence(Qt::Key_F1))
            f1 = shortcut;
    ASSERT_NE(f1, nullptr);

    for (const auto& open : {std::function<void()>([&] { button->click(); }), std::function<void()>([&] { emit f1->activated(); })}) {
        open();
        QApplication::processEvents();
        ASSERT_EQ(guides().size(), 1) << "one window, raised when open";
        QDialog* guide = guides().front();
        EXPECT_TRUE(guide->isVisible());
        EXPECT_FALSE(guide->isModal());
        EXPECT_EQ(guide->windowTitle(), QStringLiteral("Vantorell User Guide"));
        guide->close();
    }

    auto* text = guides().front()->findChild<QTextBrowser*>(QStringLiteral("userGuideText"));
    ASSERT_NE(text, nullptr);
    const QString plain = text->toPlainText();
    for (const char* heading : {"The three mixes", "Blend", "Morphing and the mesh editor", "Where settings live",
                                "When a job fails", "--canvas WxH"})
        EXPECT_TRUE(plain.contains(QLatin1String(heading))) << heading;
    // Every picture the guide links is in the program.
    const QString markdown = text->toMarkdown();
    int pictures = 0;
    for (const QRegularExpressionMatch& link : QRegularExpression(QStringLiteral(R"(!\[[^\]]*\]\(([^)]+)\))")).globalMatch(markdown)) {
        ++pictures;
        const QVariant image = text->loadResource(QTextDocument::ImageResource, QUrl(link.captured(1)));
        EXPECT_TRUE(image.isValid() && !image.toByteArray().isEmpty()) << link.captured(1).toStdString();
    }
    EXPECT_GE(pictures, 3);

    h.form->showHelp();   // Help keeps its box
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes.front().text.rfind("To prevent images from being cropped:", 0), 0u);
}

}  // namespace
}  // namespace vantorell::test
