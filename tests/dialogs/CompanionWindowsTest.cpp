// The chat and voice windows: lines as plain text in their colours, Enter
// sends the line as typed, a flood of lines stays bounded; the voice
// window's animation and its closing.
#include "dialogs/FormChat.h"
#include "dialogs/FormSpeak.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "base/ProcessState.h"
#include "fakes/QtTestApplication.h"

namespace corvala {
namespace {

// The character format of the first character of `text` in the log.
QTextCharFormat FormatOf(const QTextDocument& document, const QString& text) {
    QTextCursor cursor = document.find(text);
    cursor.setPosition(cursor.selectionStart() + 1);
    return cursor.charFormat();
}

TEST(ChatWindow, LinesArePlainTextWithBoldNamesInTheirColours) {
    TFormChat chat;
    chat.AppendLine({"Me: ", "hello", true});
    chat.AppendLine({"Ulla (111111111): ", "<b>not bold</b><img src=\"http://example.test/x.png\">", false});
    const QTextDocument& document = *chat.Log()->document();
    EXPECT_TRUE(
        document.toPlainText().contains("Ulla (111111111): <b>not bold</b><img src=\"http://example.test/x.png\">"))
        << document.toPlainText().toStdString();
    EXPECT_EQ(document.toHtml().count("<img"), 0) << "markup from a peer became markup";

    const ThemeColours& theme = processState().Theme;
    const QTextCharFormat own = FormatOf(document, "Me:"), peer = FormatOf(document, "Ulla");
    EXPECT_EQ(own.fontWeight(), QFont::Bold);
    EXPECT_EQ(own.foreground().color(), QColor::fromRgb(theme.ChatOwnNameColour));
    EXPECT_EQ(peer.fontWeight(), QFont::Bold);
    EXPECT_EQ(peer.foreground().color(), QColor::fromRgb(theme.ChatPeerNameColour));
    const QTextCharFormat text = FormatOf(document, "not bold");
    EXPECT_NE(text.fontWeight(), QFont::Bold);
    EXPECT_EQ(text.foreground().color(), QColor::fromRgb(theme.ChatPeerNameColour));
}

TEST(ChatWindow, EnterSendsTheLineAsTypedToTheChosenRecipient) {
    TFormChat chat;
    chat.ShowRecipients({{"Everybody", "Ulla (111111111)"}, 1});
    std::vector<std::pair<QString, QString>> sent;
    bool accept = false;
    chat.SendLine = [&](const QString& recipient, const QString& line) {
        sent.emplace_back(recipient, line);
        return accept;
    };
    chat.MessageLine()->setText("  spaced ");
    QTest::keyClick(chat.MessageLine(), Qt::Key_Return);
    EXPECT_EQ(chat.MessageLine()->text(), "  spaced ") << "a refused line stays";
    accept = true;
    QTest::keyClick(chat.MessageLine(), Qt::Key_Return);
    EXPECT_TRUE(chat.MessageLine()->text().isEmpty());
    ASSERT_EQ(sent.size(), 2u) << "one send per Enter";
    EXPECT_EQ(sent[1], (std::pair<QString, QString>{"Ulla (111111111)", "  spaced "}));
    EXPECT_EQ(chat.MessageLine()->maxLength(), Chat::MaxLineLength);
}

TEST(ChatWindow, AFloodOfLinesStaysBounded) {
    TFormChat chat;
    for (int i = 0; i < TFormChat::MaxLogParagraphs; ++i) chat.AppendLine({"P: ", QString::number(i), false});
    EXPECT_LE(chat.Log()->document()->blockCount(), TFormChat::MaxLogParagraphs);
    EXPECT_TRUE(chat.Log()->document()->lastBlock().previous().text().endsWith(
        QString::number(TFormChat::MaxLogParagraphs - 1)));
}

TEST(VoiceWindow, AnimatesAndReportsItsClosing) {
    TFormSpeak speak;
    int closed = 0;
    speak.Closed = [&] { ++closed; };
    speak.ShowWithCaption("Talk to Remote Users");
    EXPECT_EQ(speak.Caption(), "Talk to Remote Users");
    EXPECT_EQ(speak.LabelText(), "Say something! Listening");
    // Seven steps make one round; watched often enough to see each.
    QStringList seen;
    for (int look = 0; look < 10 * TFormSpeak::AnimationMs / 40; ++look) {
        QTest::qWait(40);
        if (seen.isEmpty() || seen.last() != speak.LabelText()) seen << speak.LabelText();
    }
    EXPECT_TRUE(seen.contains("Say something! Listening......"));
    EXPECT_TRUE(seen.contains("Say something! Listening.")) << "the dots start again after six";
    speak.close();
    EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace corvala
