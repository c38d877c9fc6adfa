#include "util/nwdialogs.h"
#include "util/nwtools.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(NwToolsTrim, LeadingRemovesOnlySpaces)
{
    EXPECT_EQ(TrimLeading("   abc "), "abc ");
    EXPECT_EQ(TrimLeading("\2 abc"), "\2 abc");
    EXPECT_EQ(TrimLeading("\tabc"), "\tabc");
    EXPECT_EQ(TrimLeading("   "), "");
    EXPECT_EQ(TrimLeading(""), "");
}

TEST(NwToolsTrim, TrailingRemovesSpacesAndControlZeroToTwo)
{
    EXPECT_EQ(TrimTrailing("abc \2 "), "abc");
    EXPECT_EQ(TrimTrailing("abc"s + '\0' + '\1' + ' '), "abc");
    EXPECT_EQ(TrimTrailing("abc\3"), "abc\3");
    EXPECT_EQ(TrimTrailing("abc\t"), "abc\t");
    EXPECT_EQ(TrimTrailing(" abc"), " abc");
    EXPECT_EQ(TrimTrailing("   "), "");
    EXPECT_EQ(TrimTrailing("\2\1"), "");
    EXPECT_EQ(TrimTrailing(""), "");
}

TEST(NwToolsTrim, BothAndLongTexts)
{
    EXPECT_EQ(TrimBoth("   "), "");
    EXPECT_EQ(TrimBoth("  O=Acme \2"), "O=Acme");
    EXPECT_EQ(TrimBoth(" a b "), "a b");
    // Nothing is lost beyond 255 characters.
    const std::string longText = std::string(300, 'x') + "y";
    EXPECT_EQ(TrimBoth("  " + longText + "   "), longText);
}

TEST(NwToolsExtractToken, FirstToken)
{
    EXPECT_EQ(ExtractToken("a=b", '=', 0), "a");
    EXPECT_EQ(ExtractToken("a=b", '=', 1), "a");
    EXPECT_EQ(ExtractToken("a=b", '=', -5), "a");
    EXPECT_EQ(ExtractToken("ab", '=', 1), "ab");
    EXPECT_EQ(ExtractToken("  ACME_TREE  = x", '=', 1), "ACME_TREE");
    EXPECT_EQ(ExtractToken("=b", '=', 1), "");
    EXPECT_EQ(ExtractToken("", '=', 1), "");
}

TEST(NwToolsExtractToken, LaterTokens)
{
    EXPECT_EQ(ExtractToken("a=b", '=', 2), "b");
    EXPECT_EQ(ExtractToken("a=b", '=', 3), "");
    EXPECT_EQ(ExtractToken("a,,b", ',', 2), "");
    EXPECT_EQ(ExtractToken("a,,b", ',', 3), "b");
    EXPECT_EQ(ExtractToken("a, b", ',', 2), "b");
    EXPECT_EQ(ExtractToken("a, b ,c", ',', 2), "b");
    EXPECT_EQ(ExtractToken("a,b,", ',', 3), "");
    EXPECT_EQ(ExtractToken("a,b,", ',', 4), "");
    EXPECT_EQ(ExtractToken("ab", ',', 2), "");
}

TEST(NwToolsExtractToken, MissingTokenIsEmptyNotARepeat)
{
    // The delimiter is found in its own case only, so the "A" is not a
    // separator: there is no third token.
    EXPECT_EQ(ExtractToken("xaAy", 'a', 2), "Ay");
    EXPECT_EQ(ExtractToken("xaAy", 'a', 3), "");
    // Blank delimiters are trimmed away between tokens.
    EXPECT_EQ(ExtractToken("a  b", ' ', 2), "b");
    EXPECT_EQ(ExtractToken("a  b", ' ', 3), "");
}

TEST(NwToolsStrings, CountChar)
{
    EXPECT_EQ(CountChar("aAa", 'a'), 3);
    EXPECT_EQ(CountChar("aAa", 'A'), 3);
    EXPECT_EQ(CountChar("a=b=c", '='), 2);
    EXPECT_EQ(CountChar("", 'a'), 0);
    // Only a to z fold: the Latin-1 letters stay distinct.
    EXPECT_EQ(CountChar("\xE4\xC4", '\xE4'), 1);
}

TEST(NwToolsStrings, LeftChooseSpaces)
{
    EXPECT_EQ(LeftStr("0012", 1), "0");
    EXPECT_EQ(LeftStr("0012", 10), "0012");
    EXPECT_EQ(LeftStr("0012", 0), "");
    EXPECT_EQ(LeftStr("0012", -1), "");
    EXPECT_EQ(LeftStr("", 1), "");

    EXPECT_EQ(ChooseStr(true, "True", "False"), "True");
    EXPECT_EQ(ChooseStr(false, "True", "False"), "False");

    EXPECT_EQ(Spaces(0), "");
    EXPECT_EQ(Spaces(3), "   ");
    EXPECT_EQ(Spaces(65535).size(), 65535u);
}

TEST(NwToolsReplaceText, CaseInsensitiveSearch)
{
    EXPECT_EQ(ReplaceText("x;Y;z", ";", "\n"), "x\nY\nz");
    EXPECT_EQ(ReplaceText("Tab", "TAB", "t"), "t");
    EXPECT_EQ(ReplaceText("a_b_c", "_", "="), "a=b=c");
    EXPECT_EQ(ReplaceText("SYS:\\PUBLIC\\X", "\\", "/"), "SYS:/PUBLIC/X");
    EXPECT_EQ(ReplaceText("abcABCabc", "bC", "-"), "a-A-a-");
    EXPECT_EQ(ReplaceText("ab", "abc", "-"), "ab");
    EXPECT_EQ(ReplaceText("", ";", "\n"), "");
}

TEST(NwToolsReplaceText, ReplacementIsNotRescanned)
{
    EXPECT_EQ(ReplaceText("aa", "a", "aa"), "aaaa");
    EXPECT_EQ(ReplaceText("x", "x", "X"), "X");
    EXPECT_EQ(ReplaceText("aaa", "aa", "b"), "ba");

    const std::string tabs = "\ta\tb\t\t";
    const std::string expanded = ReplaceText(tabs, "\t", Spaces(3));
    EXPECT_EQ(expanded.find('\t'), std::string::npos);
    EXPECT_EQ(expanded, "   a   b      ");
}

TEST(NwToolsReplaceText, EmptySearchAndLongText)
{
    EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
    const std::string longText(70000, ';');
    const std::string replaced = ReplaceText(longText, ";", "\n");
    EXPECT_EQ(replaced, std::string(70000, '\n'));
}

TEST(NwToolsHexCode, FourDigitsAndTwosComplement)
{
    EXPECT_EQ(HexCode(0), "0000");
    EXPECT_EQ(HexCode(0x1A), "001A");
    EXPECT_EQ(HexCode(0x89FC), "89FC");
    EXPECT_EQ(HexCode(65535), "FFFF");
    EXPECT_EQ(HexCode(0x12345), "12345");
    EXPECT_EQ(HexCode(-601), "FFFFFDA7");
    EXPECT_EQ(HexCode(-1), "FFFFFFFF");
    EXPECT_EQ(HexCode(INT32_MIN), "80000000");
}

// The box tests need a widget application; it lives for the whole test program.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test_util";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

struct BoxCall {
    bool isError;
    std::string text;
    Qt::CursorShape cursor;
};

class NwToolsBoxes : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetInputQueryHook({});
        while (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::restoreOverrideCursor();
    }

    void Record()
    {
        SetMessageBoxHook([this](bool isError, const std::string& text) {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            calls_.push_back({isError, text, cursor ? cursor->shape() : Qt::BlankCursor});
        });
    }

    std::vector<BoxCall> calls_;
};

TEST_F(NwToolsBoxes, HookGetsLinesAndKind)
{
    Record();
    ShowInfo("Password Changed Successfully!");
    ShowError("Error Changing Password!;Code FFFFFDA7");
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_FALSE(calls_[0].isError);
    EXPECT_EQ(calls_[0].text, "Password Changed Successfully!");
    EXPECT_TRUE(calls_[1].isError);
    EXPECT_EQ(calls_[1].text, "Error Changing Password!\nCode FFFFFDA7");
}

TEST_F(NwToolsBoxes, DefaultCursorWhileShownThenRestored)
{
    Record();
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ShowInfo("x");
    ShowError("y");
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].cursor, Qt::ArrowCursor);
    EXPECT_EQ(calls_[1].cursor, Qt::ArrowCursor);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The dialog the code under test has opened, found from the event loop.
QDialog* OpenDialog()
{
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        return dialog;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible())
            return dialog;
    return nullptr;
}

struct SeenBox {
    bool found = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*>::size_type buttonCount = 0;
    QMessageBox::StandardButtons standard;
};

// Shows the real box and closes it from the event loop, noting what it offered.
SeenBox ShowAndClose(void (*show)(const std::string&), const std::string& message)
{
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        QDialog* dialog = OpenDialog();
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box == nullptr) {
            if (dialog != nullptr)
                dialog->reject();
            return;
        }
        seen.found = true;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttonCount = box->buttons().size();
        seen.standard = box->standardButtons();
        box->buttons().first()->click();
    });
    show(message);
    return seen;
}

TEST_F(NwToolsBoxes, InformationBoxHasOneOkButton)
{
    const SeenBox seen = ShowAndClose(&ShowInfo, "Message Sent Successfully;to 2 stations");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "Information");
    EXPECT_EQ(seen.text, "Message Sent Successfully\nto 2 stations");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttonCount, 1);
    EXPECT_EQ(seen.standard, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(NwToolsBoxes, ErrorBoxHasOnlyCancel)
{
    const SeenBox seen = ShowAndClose(&ShowError, "Unable to Send Message");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.text, "Unable to Send Message");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttonCount, 1);
    EXPECT_EQ(seen.standard, QMessageBox::StandardButtons(QMessageBox::Cancel));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(NwToolsBoxes, InputQueryHookAnswers)
{
    QString seenCaption, seenPrompt, seenInitial;
    SetInputQueryHook([&](const QString& caption, const QString& prompt, QString& value) {
        seenCaption = caption;
        seenPrompt = prompt;
        seenInitial = value;
        value = QStringLiteral("typed");
        return true;
    });
    QString value = QStringLiteral("initial");
    EXPECT_TRUE(InputQuery("Send Line Message", "Message:", value));
    EXPECT_EQ(value, "typed");
    EXPECT_EQ(seenCaption, "Send Line Message");
    EXPECT_EQ(seenPrompt, "Message:");
    EXPECT_EQ(seenInitial, "initial");

    SetInputQueryHook([](const QString&, const QString&, QString&) { return false; });
    EXPECT_FALSE(InputQuery("c", "p", value));
    EXPECT_EQ(value, "typed");
}

TEST_F(NwToolsBoxes, RealInputDialogOkAndCancel)
{
    auto answer = [](bool accept) {
        QTimer::singleShot(0, [accept] {
            QDialog* dialog = OpenDialog();
            if (dialog == nullptr)
                return;
            if (auto* edit = dialog->findChild<QLineEdit*>())
                edit->setText(QStringLiteral("new text"));
            accept ? dialog->accept() : dialog->reject();
        });
    };
    QString value = QStringLiteral("old");
    answer(false);
    EXPECT_FALSE(InputQuery("Caption", "Prompt", value));
    EXPECT_EQ(value, "old");
    answer(true);
    EXPECT_TRUE(InputQuery("Caption", "Prompt", value));
    EXPECT_EQ(value, "new text");
}

}  // namespace
