#include "widgets/FormMessage.h"

#include <functional>
#include <memory>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "fakes/QtTestApplication.h"

#include "base/ProcessState.h"
#include "i18n/Translator.h"

namespace corvala {
namespace {

class MessageBox : public ::testing::Test {
protected:
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TFormMessage*>(w))
                delete w;
        processState().Theme = ThemeColours::Default();
        translator().build({});
        qunsetenv("CORVALA_AUTO_ANSWER");
        qunsetenv("CORVALA_MESSAGE_LOG");
    }

    static QList<TFormMessage*> openBoxes() {
        QList<TFormMessage*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<TFormMessage*>(w); box && box->isVisible())
                boxes << box;
        return boxes;
    }

    // Runs `act` on the modal box once it shows, then returns ShowAppMessage's answer.
    static bool showModalAnd(MessageKind kind, const QString& text, std::function<void(TFormMessage*)> act) {
        bool acted = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const auto boxes = openBoxes();
            if (acted || boxes.isEmpty())
                return;
            acted = true;
            act(boxes.front());
        });
        poll.start();
        const bool answer = ShowAppMessage(true, kind, text);
        EXPECT_TRUE(acted);
        return answer;
    }
};

enum class Action { PressOK, PressCancel, CloseCross, Escape };

const char* actionName(Action a) {
    switch (a) {
    case Action::PressOK: return "OK";
    case Action::PressCancel: return "Cancel";
    case Action::CloseCross: return "cross";
    case Action::Escape: return "Escape";
    }
    return "";
}

void perform(TFormMessage* box, Action a) {
    switch (a) {
    case Action::PressOK: {
        // The visible button captioned "OK".
        for (auto* b : box->findChildren<QPushButton*>())
            if (b->isVisible() && b->text() == "OK") {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        ADD_FAILURE() << "no OK button";
        box->close();
        return;
    }
    case Action::PressCancel:
        QTest::mouseClick(box->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        return;
    case Action::CloseCross:
        QTest::mouseClick(box->findChild<QWidget*>("btnClose"), Qt::LeftButton);
        return;
    case Action::Escape:
        QTest::keyClick(box, Qt::Key_Escape);
        return;
    }
}

TEST_F(MessageBox, ModalAnswers) {
    struct Case {
        MessageKind kind;
        Action action;
        bool expected;
    };
    const Case cases[] = {
        {MessageKind::Confirm, Action::PressOK, true},
        {MessageKind::Confirm, Action::PressCancel, false},
        {MessageKind::Confirm, Action::CloseCross, false},
        {MessageKind::Confirm, Action::Escape, false},
        {MessageKind::Warning, Action::PressOK, false},
        {MessageKind::Warning, Action::CloseCross, false},
        {MessageKind::Error, Action::PressOK, false},
        {MessageKind::Error, Action::Escape, false},
        {MessageKind::Information, Action::PressOK, false},
        {MessageKind::Information, Action::CloseCross, false},
    };
    for (const auto& c : cases) {
        const bool answer = showModalAnd(c.kind, "Question?", [&](TFormMessage* box) { perform(box, c.action); });
        EXPECT_EQ(answer, c.expected) << messageKindName(c.kind).toStdString() << " / " << actionName(c.action);
        EXPECT_TRUE(openBoxes().isEmpty());
    }
}

TEST_F(MessageBox, AnswerFieldFollowsTheButtons) {
    struct Case {
        MessageKind kind;
        Action action;
        int answer;
    };
    const Case cases[] = {
        {MessageKind::Warning, Action::PressOK, 1},   {MessageKind::Error, Action::PressOK, 1},
        {MessageKind::Confirm, Action::PressOK, 1},   {MessageKind::Confirm, Action::PressCancel, 0},
        {MessageKind::Information, Action::PressOK, 0}, {MessageKind::Confirm, Action::CloseCross, 0},
    };
    for (const auto& c : cases) {
        TFormMessage box;
        box.setMessage(c.kind, "text");
        box.show();
        ASSERT_EQ(box.answer(), 0);
        perform(&box, c.action);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.answer(), c.answer) << messageKindName(c.kind).toStdString() << " / " << actionName(c.action);
    }
}

TEST_F(MessageBox, KindsSetCaptionAndButtons) {
    struct Case {
        MessageKind kind;
        const char* caption;
        bool okVisible;
        bool cancelVisible;
        const char* cancelText;
    };
    const Case cases[] = {
        {MessageKind::Warning, "Warning!", true, false, "Cancel"},
        {MessageKind::Error, "Error", true, false, "Cancel"},
        {MessageKind::Confirm, "Confirm", true, true, "Cancel"},
        {MessageKind::Information, "Information", false, true, "OK"},
    };
    for (const auto& c : cases) {
        TFormMessage box;
        box.setMessage(c.kind, "text");
        box.show();
        EXPECT_EQ(box.findChild<QLabel*>("labelCaption")->text(), c.caption);
        auto* ok = box.findChild<QPushButton*>("btnOK");
        auto* cancel = box.findChild<QPushButton*>("btnCancel");
        EXPECT_EQ(ok->isVisible(), c.okVisible) << c.caption;
        EXPECT_EQ(cancel->isVisible(), c.cancelVisible) << c.caption;
        EXPECT_EQ(cancel->text(), c.cancelText);
        // The single button sits at the far right.
        QPushButton* rightmost = c.cancelVisible ? cancel : ok;
        EXPECT_EQ(rightmost->mapTo(&box, QPoint(rightmost->width(), 0)).x(),
                  box.width() - processState().Theme.BorderWidth - TFormMessage::Margin);
        EXPECT_FALSE(box.findChild<QLabel*>("imageIcon")->pixmap().isNull());
        EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    }
}

struct Geometry {
    QRect label, ok, cancel, panel, icon, caption, close;
    int height;
};

Geometry geometryOf(TFormMessage& box) {
    auto inBox = [&](const char* name) {
        QWidget* w = box.findChild<QWidget*>(name);
        return QRect(w->mapTo(&box, QPoint(0, 0)), w->size());
    };
    return {inBox("labelMessage"), inBox("btnOK"), inBox("btnCancel"), inBox("panButtons"),
            inBox("imageIcon"), inBox("panCaption"), inBox("btnClose"), box.height()};
}

TEST_F(MessageBox, LayoutArithmetic) {
    for (const QString& text : {QString("Short."), QString("A long message that needs several lines. ").repeated(12)}) {
        TFormMessage box;
        box.setMessage(MessageKind::Confirm, text);
        box.show();
        const Geometry g = geometryOf(box);
        const int labelBottom = g.label.y() + g.label.height();
        EXPECT_EQ(g.ok.y(), labelBottom + 38);            // 1.5 button heights, rounded half to even
        EXPECT_EQ(g.cancel.y(), g.ok.y());
        EXPECT_EQ(g.panel.y(), g.ok.y() - 12);            // half a button height
        EXPECT_EQ(g.height, 12 + 25 + g.ok.y());
        EXPECT_EQ(g.label.x() + g.label.width(), g.cancel.x() + g.cancel.width());
        EXPECT_EQ(g.ok.size(), QSize(75, 25));
        EXPECT_EQ(g.cancel.size(), QSize(75, 25));
        EXPECT_LT(g.ok.x() + g.ok.width(), g.cancel.x());
        EXPECT_EQ(g.icon.size(), QSize(29, 29));
        EXPECT_LT(g.icon.x() + g.icon.width(), g.label.x());
        EXPECT_EQ(g.caption.y() + g.caption.height(), TFormMessage::CaptionHeight);
        EXPECT_EQ(g.close.size(), QSize(37, 30));
        EXPECT_EQ(g.close.x() + g.close.width(), box.width() - processState().Theme.BorderWidth);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE((box.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    }
    // Long text wraps and the window grows downward.
    TFormMessage shortBox, longBox;
    shortBox.setMessage(MessageKind::Warning, "Short.");
    longBox.setMessage(MessageKind::Warning, QString("word ").repeated(300));
    EXPECT_EQ(longBox.width(), shortBox.width());
    EXPECT_GT(longBox.height(), shortBox.height() + 5 * longBox.fontMetrics().height());

    // Taller than the screen: the caption stays reachable.
    TFormMessage hugeBox;
    hugeBox.setMessage(MessageKind::Error, QString("line\n").repeated(400));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GT(hugeBox.height(), screen.height());
    EXPECT_EQ(hugeBox.y(), screen.top());
}

TEST_F(MessageBox, PaintsThemeColours) {
    for (bool branded : {false, true}) {
        processState().Theme = branded ? ThemeColours::Branded() : ThemeColours::Default();
        const ThemeColours& theme = processState().Theme;
        TFormMessage box;
        box.setMessage(MessageKind::Warning, "Colours.");
        box.show();
        const QImage image = box.grab().toImage();
        const Geometry g = geometryOf(box);
        auto at = [&](QPoint p) { return image.pixelColor(p).rgb() & 0xFFFFFF; };
        const QColor panel = theme.PanelColour ? QColor::fromRgb(*theme.PanelColour)
                                               : QApplication::palette().color(QPalette::Button);
        EXPECT_EQ(at({0, box.height() / 2}), theme.BorderColour) << "left strip, branded " << branded;
        EXPECT_EQ(at({box.width() - 1, box.height() / 2}), theme.BorderColour);
        EXPECT_EQ(at({box.width() / 2, box.height() - 1}), theme.BorderColour);
        EXPECT_EQ(at({g.caption.x() + 2, g.caption.y() + 2}), theme.CaptionColour);
        EXPECT_EQ(at({g.close.x() + 2, g.close.y() + 2}), theme.CaptionColour);
        EXPECT_EQ(at({g.close.center()}), theme.IconColour) << "the cross";
        EXPECT_EQ(at({g.panel.x() + 2, g.panel.y() + 2}), panel.rgb() & 0xFFFFFF);
    }
}

TEST_F(MessageBox, CloseButtonShowsPressAndHover) {
    TFormMessage box;
    box.setMessage(MessageKind::Warning, "x");
    box.show();
    auto* close = box.findChild<QAbstractButton*>("btnClose");
    auto corner = [&] { return close->grab().toImage().pixelColor(2, 2).rgb() & 0xFFFFFF; };
    const ThemeColours& theme = processState().Theme;
    EXPECT_EQ(corner(), theme.CaptionColour);
    close->setDown(true);
    EXPECT_EQ(corner(), theme.ClosePressedColour);
    close->setDown(false);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), close->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(close, &enter);
    if (close->underMouse()) {  // the offscreen platform tracks the pointer only sometimes
        EXPECT_EQ(corner(), theme.CloseHoverColour);
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(close, &leave);
    EXPECT_EQ(corner(), theme.CaptionColour);
}

TEST_F(MessageBox, DraggingTheCaptionMovesTheWindow) {
    for (const char* handle : {"panCaption", "labelCaption"}) {
        TFormMessage box;
        box.setMessage(MessageKind::Warning, "drag me");
        box.show();
        QWidget* w = box.findChild<QWidget*>(handle);
        const QPoint start = box.pos();
        const QPointF local(5, 5);
        const QPointF global = w->mapToGlobal(local);
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QMouseEvent move(QEvent::MouseMove, local + QPointF(30, -20), global + QPointF(30, -20), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, local + QPointF(30, -20), global + QPointF(30, -20),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &release);
        EXPECT_EQ(box.pos(), start + QPoint(30, -20)) << handle;
        // Without the button held, moving does nothing.
        QMouseEvent hover(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &hover);
        EXPECT_EQ(box.pos(), start + QPoint(30, -20));
    }
}

TEST_F(MessageBox, NonModalBoxesCoexistAndFreeThemselves) {
    EXPECT_FALSE(ShowAppMessage(false, MessageKind::Confirm, "first"));
    EXPECT_FALSE(ShowAppMessage(false, MessageKind::Warning, "second"));
    EXPECT_FALSE(ShowAppMessage(false, MessageKind::Information, "third"));
    auto boxes = openBoxes();
    ASSERT_EQ(boxes.size(), 3);
    QList<QPointer<TFormMessage>> watched(boxes.begin(), boxes.end());

    perform(watched[0], Action::PressOK);
    QTRY_VERIFY_WITH_TIMEOUT(watched[0].isNull(), 10000);
    EXPECT_EQ(openBoxes().size(), 2);
    perform(watched[1], Action::CloseCross);
    perform(watched[2], Action::PressOK);
    QTRY_VERIFY_WITH_TIMEOUT(watched[1].isNull() && watched[2].isNull(), 10000);
    EXPECT_TRUE(openBoxes().isEmpty());
}

TEST_F(MessageBox, CaptionsFollowTheLanguageTable) {
    TFormMessage english;
    english.setMessage(MessageKind::Confirm, "x");
    EXPECT_EQ(english.findChild<QLabel*>("labelCaption")->text(), "Confirm");

    translator().build({"2", "English", "Deutsch", "en", "de", "Confirm", QString::fromUtf8("Bestätigen"),
                        "OK", "OK", "Cancel", "Abbrechen", "Hello", "Hallo"});
    translator().setLanguageCode("de");
    TFormMessage german;
    german.setMessage(MessageKind::Confirm, "Hello");
    EXPECT_EQ(german.findChild<QLabel*>("labelCaption")->text(), QString::fromUtf8("Bestätigen"));
    EXPECT_EQ(german.findChild<QPushButton*>("btnCancel")->text(), "Abbrechen");
    // The caller's text is shown as given.
    EXPECT_EQ(german.findChild<QLabel*>("labelMessage")->text(), "Hello");
}

TEST_F(MessageBox, AutomatedRunsLogAndAnswer) {
    QTemporaryDir dir;
    const QString log = dir.filePath("messages.log");
    qputenv("CORVALA_MESSAGE_LOG", log.toUtf8());
    struct Case {
        const char* answer;
        bool modal;
        MessageKind kind;
        bool expected;
    };
    const Case cases[] = {
        {"ok", true, MessageKind::Confirm, true},
        {"cancel", true, MessageKind::Confirm, false},
        {"ok", true, MessageKind::Information, false},
        {"ok", true, MessageKind::Warning, false},
        {"ok", false, MessageKind::Confirm, false},
    };
    for (const auto& c : cases) {
        qputenv("CORVALA_AUTO_ANSWER", c.answer);
        EXPECT_EQ(ShowAppMessage(c.modal, c.kind, QString::fromUtf8("Line one\r\nZeile zwei – ü")), c.expected)
            << c.answer << " " << messageKindName(c.kind).toStdString();
        EXPECT_TRUE(openBoxes().isEmpty());
    }
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QString::fromUtf8("Confirm\tLine one\\nZeile zwei – ü"));
    EXPECT_EQ(lines[2], QString::fromUtf8("Information\tLine one\\nZeile zwei – ü"));
}

}  // namespace
}  // namespace corvala
