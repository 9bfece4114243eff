// The typed edit field offscreen: keys typed into a date, Delete and Backspace at a
// dot, Enter and Tab with and without a next window, the focus notice, the date boxes
// and the display state's painting.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/windows/VirtualKey.h"
#include "controls/ControlMessages.h"
#include "controls/DisEdit.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kRows[] = {
    {1, ControlKind::Edit, 7, 7, 80, 13, "", plat::CS_NONE},
    {2, ControlKind::Edit, 7, 27, 80, 13, "", plat::CS_NONE},
    {3, ControlKind::PushButton, 7, 47, 50, 14, "OK", plat::CS_NONE},
};
const plat::DialogTemplate kTemplate{900, "Fields", "MS Sans Serif", 8, 120, 70, kRows, std::size(kRows)};

struct Notice {
    unsigned msg;
    plat::WParam w;
    plat::LParam l;
};

class DisEditWindowTest : public ::testing::Test {
protected:
    DisEditWindowTest()
    {
        m_dialog.SetMessageHandler([this](unsigned msg, plat::WParam w, plat::LParam l) {
            m_notices.push_back({msg, w, l});
            return plat::LResult(0);
        });
        m_dialog.SetOkHandler([this] { ++m_oks; });
        m_edit = CDisEdit::SubclassDlgItem(1, &m_dialog);
        m_dialog.show();
        QApplication::setActiveWindow(&m_dialog);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_dialog));
    }

    // Delivers what was posted and answers what arrived since the last call.
    std::vector<Notice> Notices()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return std::exchange(m_notices, {});
    }

    std::string Text() const { return m_edit->text().toStdString(); }

    plat::Dialog m_dialog{kTemplate};
    CDisEdit* m_edit = nullptr;
    std::vector<Notice> m_notices;
    int m_oks = 0;
};

TEST_F(DisEditWindowTest, TakesOverTheTemplateEditAndFiltersTyping)
{
    ASSERT_NE(m_edit, nullptr);
    EXPECT_EQ(m_dialog.Control(1), m_edit);
    EXPECT_EQ(CDisEdit::SubclassDlgItem(77, &m_dialog), nullptr);
    m_edit->setFocus();
    m_edit->EnableMode(2, 0);
    QTest::keyClicks(m_edit, "12a");
    EXPECT_EQ(Text(), "12");
    EXPECT_EQ(m_edit->GetInt(), 12);
    EXPECT_EQ(m_edit->GetCurPos(), 2);
    m_edit->SetInt(0);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(m_edit->GetInt(), 0);
    m_edit->SetWindowText("4294967297");
    EXPECT_EQ(m_edit->GetInt(), INT_MAX) << "a long number saturates";

    m_edit->EnableMode(3, 0);
    m_edit->SetDouble(0.0);
    EXPECT_EQ(Text(), "");
    m_edit->SetDouble(2.5);
    EXPECT_EQ(Text(), "2.5");
    QTest::keyClicks(m_edit, "x");
    EXPECT_EQ(Text(), "2.5");
    EXPECT_DOUBLE_EQ(m_edit->GetDouble(), 2.5);

    m_edit->EnableMode(1, 5);
    m_edit->SetWindowText("");
    QTest::keyClicks(m_edit, "abcdefgh");
    EXPECT_EQ(Text(), "abcde");
    EXPECT_EQ(m_edit->GetValue(), "abcde");

    // Each key went down with its notice, the virtual key in lParam and the field in wParam.
    const std::vector<Notice> n = Notices();
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back().msg, WM_DISEDIT_KEY);
    EXPECT_EQ(n.back().w, plat::WParam(m_edit));
    EXPECT_EQ(n.back().l, 'H');
}

TEST_F(DisEditWindowTest, DateTypingDotsAndBoxes)
{
    m_edit->setFocus();
    m_edit->EnableMode(4, 0);
    EXPECT_EQ(Text(), "01.01.1900");
    EXPECT_EQ(m_edit->GetValue(), "01.01.1900");

    m_edit->SetCurPos(0);
    QTest::keyClicks(m_edit, "2");
    EXPECT_EQ(Text(), "21.01.1900");
    EXPECT_EQ(m_edit->GetCurPos(), 1);
    QTest::keyClicks(m_edit, "5");
    EXPECT_EQ(Text(), "25.01.1900") << "typing overwrites";
    EXPECT_EQ(m_edit->GetCurPos(), 3) << "the caret skips the dot";
    QTest::keyClicks(m_edit, "12");
    EXPECT_EQ(Text(), "25.12.1900");
    EXPECT_EQ(m_edit->GetCurPos(), 8);

    // Delete before a dot and Backspace after one keep it.
    m_edit->setCursorPosition(2);
    QTest::keyClick(m_edit, Qt::Key_Delete);
    EXPECT_EQ(Text(), "25.12.1900");
    m_edit->setCursorPosition(3);
    QTest::keyClick(m_edit, Qt::Key_Backspace);
    EXPECT_EQ(Text(), "25.12.1900");
    EXPECT_EQ(m_edit->GetCurPos(), 3) << "the caret stays where it was";

    // Arrows jump over the dots; the end goes back to the last digit.
    m_edit->setCursorPosition(1);
    QTest::keyClick(m_edit, Qt::Key_Right);
    EXPECT_EQ(m_edit->GetCurPos(), 3);
    QTest::keyClick(m_edit, Qt::Key_Left);
    EXPECT_EQ(m_edit->GetCurPos(), 1);
    QTest::keyClick(m_edit, Qt::Key_End);
    EXPECT_EQ(m_edit->GetCurPos(), 9);
    // A character typed at the end overwrites the last digit.
    m_edit->setCursorPosition(10);
    QTest::keyClicks(m_edit, "7");
    EXPECT_EQ(Text(), "25.12.1907");

    const struct {
        const char* text;
        const char* want;
        const char* box;  // null: none
    } dates[] = {
        {"35.01.2000", "31.01.2000", nullptr},
        {"45.01.2000", "31.01.2000", "Incorrect date is entered !"},
        {"10.25.2000", "10.12.2000", "Incorrect month is entered !"},
        {"01.01.12000", "01.01.1900", "Incorrect year is entered !"},
        {"31.04.2000", "30.04.2000", nullptr},
        {"1/2/2003", "01.02.2003", nullptr},
        {"", "01.01.1900", nullptr},
    };
    for (const auto& d : dates) {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        m_edit->SetWindowText(d.text);
        EXPECT_EQ(Text(), d.want) << d.text;
        EXPECT_EQ(m_edit->GetValue(), d.want) << d.text;
        ASSERT_EQ(boxes.Calls().size(), d.box ? 1u : 0u) << d.text;
        if (d.box) {
            EXPECT_EQ(boxes.Calls()[0].text, d.box);
            EXPECT_EQ(boxes.Calls()[0].caption, "ДАТА");
            EXPECT_TRUE(boxes.Calls()[0].owned);
        }
    }
    m_edit->SetWindowText("31.04.2000");
    EXPECT_EQ(m_edit->TestData(), 1) << "already corrected";
    m_edit->EnableMode(1, 0);
    m_edit->SetWindowText("30.02.2001");
    m_edit->EnableMode(4, 0);
    EXPECT_EQ(Text(), "29.02.2001") << "switching to a date checks the text";
}

TEST_F(DisEditWindowTest, EnterTabAndFocus)
{
    auto* other = m_dialog.ControlAs<QLineEdit>(2);
    ASSERT_NE(other, nullptr);
    other->setFocus();
    Notices();
    m_edit->setFocus();
    std::vector<Notice> n = Notices();
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].msg, WM_DISEDIT_FOCUS);
    EXPECT_EQ(n[0].w, plat::WParam(other)) << "the window that lost the focus";
    EXPECT_EQ(n[0].l, plat::LParam(m_edit));

    // Without a next window Enter moves on to the next control and the dialog's OK.
    QTest::keyClick(m_edit, Qt::Key_Return);
    n = Notices();
    EXPECT_EQ(m_oks, 1);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].msg, WM_DISEDIT_KEY);
    EXPECT_EQ(n[0].l, plat::VK_RETURN);
    EXPECT_NE(QApplication::focusWidget(), m_edit) << "WM_NEXTDLGCTL moved the focus";

    // With a next window Enter and Tab move the focus there and no further.
    auto* button = m_dialog.Control(3);
    m_edit->SetNextWnd(button);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
        m_edit->setFocus();
        Notices();
        QTest::keyClick(m_edit, key);
        EXPECT_EQ(QApplication::focusWidget(), button) << key;
        EXPECT_EQ(m_oks, 1) << key;
        for (const Notice& x : Notices())
            EXPECT_NE(x.msg, WM_DISEDIT_KEY) << key;
    }
}

// The grabbed field: pixel (x, y) as 0xRRGGBB.
unsigned Pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFFu;
}

TEST_F(DisEditWindowTest, DisplayStatePaintsBlackOnWhiteInItsOwnFrame)
{
    QWidget host;
    host.resize(200, 100);
    CDisEdit field;
    ASSERT_TRUE(field.Create(0, plat::Rect{10, 10, 130, 32}, &host, 250));
    EXPECT_FALSE(field.hasFrame());
    host.show();
    field.show();
    field.SetWindowText("Value 42");
    field.EnableMode(0, 0);
    EXPECT_FALSE(field.isEnabled());
    EXPECT_TRUE(field.IsDisplay());
    const QImage image = field.grab().toImage();
    image.save(QString::fromUtf8(::testing::TempDir().c_str()) + "disedit_display.png");
    const int w = image.width(), h = image.height();
    ASSERT_EQ(w, 120);
    ASSERT_EQ(h, 22);
    EXPECT_EQ(Pixel(image, w / 2, h - 1), 0xFFFFFFu) << "bottom";
    EXPECT_EQ(Pixel(image, w - 1, h / 2), 0xFFFFFFu) << "right";
    EXPECT_EQ(Pixel(image, w / 2, 0), 0x606060u) << "top";
    EXPECT_EQ(Pixel(image, 0, h / 2), 0x606060u) << "left";
    EXPECT_EQ(Pixel(image, w / 2, h - 2), 0xC0C0C0u) << "inner bottom";
    EXPECT_EQ(Pixel(image, w - 2, h / 2), 0xC0C0C0u) << "inner right";
    EXPECT_EQ(Pixel(image, w / 2, 1), 0u) << "inner top";
    EXPECT_EQ(Pixel(image, 1, h / 2), 0u) << "inner left";
    EXPECT_EQ(Pixel(image, w - 4, h / 2), 0xFFFFFFu) << "fill";
    int dark = 0;
    for (int x = 2; x < w / 2; ++x)
        for (int y = 2; y < h - 2; ++y)
            dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 10) << "the value is written in black";

    // A password shows seven asterisks whatever the value.
    field.SetPasswordMode(1);
    const QImage secret = field.grab().toImage();
    field.SetWindowText("x");
    EXPECT_EQ(field.grab().toImage(), secret);
    field.SetPasswordMode(0);
    EXPECT_NE(field.grab().toImage(), secret);

    // Back to live, and the greyed display state of mode 5.
    EXPECT_EQ(field.EnableWindow(1), 1);
    EXPECT_TRUE(field.isEnabled());
    EXPECT_FALSE(field.IsDisplay());
    field.EnableMode(5, 0);
    EXPECT_FALSE(field.isEnabled());
    EXPECT_EQ(field.Mode(), 0);
}

}  // namespace
