// frmTest and the error box as widgets, on Qt's offscreen platform: no display needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "QtWindows.h"
#include "Support.h"
#include "frmTest.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;

// The rows of the worked example: select, from, where (words) and the comma (symbol).
const KeywordTable kClauses = {{u"select", 1, 1}, {u"from", 1, 1}, {u"where", 1, 1}, {u",", 1, 0}};

// One application for the whole program, gone after the last test and before Qt's own statics.
class OffscreenApplication : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

  private:
    int argc_ = 1;
    char name_[13] = "frmTest_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

// gtest owns and runs the environment around all tests.
[[maybe_unused]] ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication);

class frmTest_test : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<frmTest>();
        txtQry = form->findChild<QPlainTextEdit*>(QStringLiteral("txtQry"));
        cmdTest = form->findChild<QPushButton*>(QStringLiteral("cmdTest"));
        ASSERT_NE(txtQry, nullptr);
        ASSERT_NE(cmdTest, nullptr);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        // The expected twips below are exact at 96 DPI, 15 twips a pixel.
        ASSERT_EQ(form->logicalDpiX(), 96);
        ASSERT_EQ(form->logicalDpiY(), 96);
    }

    void press() { QTest::mouseClick(cmdTest, Qt::LeftButton); }
    QString boxText() const { return txtQry->toPlainText(); }

    std::unique_ptr<frmTest> form;
    QPlainTextEdit* txtQry = nullptr;
    QPushButton* cmdTest = nullptr;
};

void expectTwips(const frmTest::Twips& actual, const frmTest::Twips& expected) {
    EXPECT_FLOAT_EQ(actual.Left, expected.Left);
    EXPECT_FLOAT_EQ(actual.Top, expected.Top);
    EXPECT_FLOAT_EQ(actual.Width, expected.Width);
    EXPECT_FLOAT_EQ(actual.Height, expected.Height);
}

TEST_F(frmTest_test, design_size_places_button_and_box) {
    EXPECT_EQ(form->size(), QSize(325, 233));  // 4875 × 3495 twips
    EXPECT_FLOAT_EQ(form->ScaleWidth(), 4875.0f);
    EXPECT_FLOAT_EQ(form->ScaleHeight(), 3495.0f);
    expectTwips(form->cmdTestTwips(), {3420, 3000, 1395, 375});
    expectTwips(form->txtQryTwips(), {60, 60, 4755, 2880});
    EXPECT_EQ(cmdTest->geometry(), QRect(228, 200, 93, 25));
    EXPECT_EQ(txtQry->geometry(), QRect(4, 4, 317, 192));
}

TEST_F(frmTest_test, resizing_follows_the_part_and_skips_negative_sizes) {
    struct Row {
        const char* what;
        QSize pixels;
        frmTest::Twips cmdTest;
        frmTest::Twips txtQry;
    };
    // Applied in order: a skipped assignment keeps the value of the row before.
    const std::vector<Row> rows = {
        {"larger", {500, 400}, {6045, 5505, 1395, 375}, {60, 60, 7380, 5385}},
        {"smaller than the button: height skipped",
         {50, 30},
         {-705, -45, 1395, 375},
         {60, 60, 630, 5385}},
        {"tiny: width and height skipped", {5, 5}, {-1380, -420, 1395, 375}, {60, 60, 630, 5385}},
        {"only wide enough for the box's margins",
         {8, 41},
         {-1335, 120, 1395, 375},
         {60, 60, 0, 0}},
        {"back to the design size", {325, 233}, {3420, 3000, 1395, 375}, {60, 60, 4755, 2880}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        form->resize(row.pixels);
        ASSERT_EQ(form->size(), row.pixels);
        expectTwips(form->cmdTestTwips(), row.cmdTest);
        expectTwips(form->txtQryTwips(), row.txtQry);
    }
}

TEST_F(frmTest_test, window_controls_and_captions) {
    EXPECT_EQ(form->windowTitle(), QString::fromUtf16(u"\uFF83\uFF7D\uFF84\u753B\u9762"));
    EXPECT_EQ(cmdTest->text(), QString::fromUtf16(u"\u691C\u8A3C"));
    EXPECT_TRUE(form->windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(boxText().isEmpty());
    EXPECT_EQ(txtQry->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(txtQry->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(txtQry->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(QFontInfo(txtQry->font()).fixedPitch());
    // Resizable: no fixed size.
    EXPECT_EQ(form->minimumSize(), QSize(0, 0));
    EXPECT_EQ(form->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

TEST_F(frmTest_test, focus_starts_in_the_box_and_tab_goes_to_the_button) {
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), txtQry);
    QTest::keyClick(txtQry, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), cmdTest);
    EXPECT_TRUE(boxText().isEmpty());  // Tab moved on, it was not typed
}

TEST_F(frmTest_test, two_presses_give_the_same_text_as_one) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    txtQry->setPlainText(QStringLiteral("select a from t"));
    press();
    EXPECT_EQ(boxText(), QStringLiteral("select\n    a\nfrom\n    t"));
    press();
    EXPECT_EQ(boxText(), QStringLiteral("select\n    a\nfrom\n    t"));
}

TEST_F(frmTest_test, typed_lines_and_tabs_are_laid_out) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    txtQry->setPlainText(QStringLiteral("SELECT a,b\nFROM t\tWHERE x=1"));
    press();
    EXPECT_EQ(boxText(), QStringLiteral("SELECT\n    a,\n    b\nFROM\n    t\nWHERE\n    x=1"));
}

TEST_F(frmTest_test, press_without_keyword_file_shows_one_box_and_keeps_the_text) {
    KeywordDir dir;  // holds no KEYWORD_ARRANGE.CSV
    txtQry->setPlainText(QStringLiteral("select a from t"));
    press();
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{"53:File not found: " + dir.file().string()});
    EXPECT_EQ(boxText(), QStringLiteral("select a from t"));
}

TEST_F(frmTest_test, undo_after_a_press_restores_the_original) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    txtQry->setPlainText(QStringLiteral("select a from t"));
    press();
    ASSERT_EQ(boxText(), QStringLiteral("select\n    a\nfrom\n    t"));
    txtQry->setFocus();
    QTest::keyClick(txtQry, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(boxText(), QStringLiteral("select a from t"));
    QTest::keyClick(txtQry, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(boxText(), QStringLiteral("select\n    a\nfrom\n    t"));
}

TEST_F(frmTest_test, no_break_spaces_survive_a_press) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    txtQry->setPlainText(QString::fromUtf16(u"select a\u00A0b from t"));
    press();
    // toPlainText would show a no-break space as a space; the document keeps what is there,
    // with a paragraph separator between lines.
    EXPECT_EQ(txtQry->document()->toRawText(),
              QString::fromUtf16(u"select\u2029    a\u00A0b\u2029from\u2029    t"));
}

TEST_F(frmTest_test, hostile_texts_in_the_box_come_back_laid_out) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    struct Case {
        const char* what;
        std::u16string text, expected;
    };
    std::u16string commas = u"x", laidOut = u"x";
    for (int i = 0; i < 100000; ++i) {
        commas += u",y";
        laidOut += u",\n    y";
    }
    const Case cases[] = {
        {"astral characters", u"select \U0001F600, '\U0001F600, x' from t",
         u"select\n    \U0001F600,\n    '\U0001F600, x'\nfrom\n    t"},
        {"only spaces: the end trim leaves nothing", u"     ", u""},
        {"100,000 commas on one line", commas, laidOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        txtQry->setPlainText(QString::fromStdU16String(c.text));
        press();
        EXPECT_TRUE(boxText() == QString::fromStdU16String(c.expected));
    }
    EXPECT_TRUE(dir.boxes().empty());
}

// The error box itself: what it shows, and which keys close it.
class message_box_test : public frmTest_test {};

void expectBoxClosedBy(int key) {
    bool seen = false;
    // A timer of our own rather than QTimer::singleShot, whose slot object Qt deletes where the
    // static analyser cannot see it.
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Pellomar"));
        EXPECT_EQ(box->text(), QStringLiteral("53:File not found: /x/KEYWORD_ARRANGE.CSV"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        QTest::keyClick(box, static_cast<Qt::Key>(key));
    });
    closer.start(0);
    platform::showMessageBox({53, "File not found: /x/KEYWORD_ARRANGE.CSV"});
    EXPECT_TRUE(seen);
}

TEST_F(message_box_test, shows_number_and_description_and_closes_on_return) {
    expectBoxClosedBy(Qt::Key_Return);
}

TEST_F(message_box_test, closes_on_escape) {
    expectBoxClosedBy(Qt::Key_Escape);
}

}  // namespace
}  // namespace pellomar
