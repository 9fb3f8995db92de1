#include "frmTest.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>
#include <string>

#include "ErrorRecord.h"
#include "ExitStatus.h"
#include "RequestScope.h"
#include "TextCodec.h"
#include "clsMorvant.h"

// The icon lives in a static library: its resource must be pulled in by name, outside any
// namespace.
static void initResources() {
    Q_INIT_RESOURCE(pellomar);
}

namespace pellomar {

namespace {

constexpr float kTwipsPerInch = 1440.0f;
constexpr float kInnerWidth = 4875.0f;
constexpr float kInnerHeight = 3495.0f;

// The box's text with LF line ends. A QTextDocument keeps a paragraph separator (U+2029)
// between blocks and a line separator (U+2028) for Shift+Return; both are the user's line
// breaks. toPlainText would also turn no-break spaces into spaces, which the layout must not.
std::u16string boxText(const QPlainTextEdit& box) {
    QString text = box.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text.toStdU16String();
}

}  // namespace

frmTest::frmTest(QWidget* parent) : QWidget(parent) {
    initResources();

    txtQry = new QPlainTextEdit(this);
    txtQry->setObjectName(QStringLiteral("txtQry"));
    // The layout indents with spaces: a fixed-pitch font, no wrapping, both scroll bars.
    txtQry->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtQry->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtQry->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtQry->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the button, as in the design's tab order; TABs still arrive by pasting.
    txtQry->setTabChangesFocus(true);

    cmdTest = new QPushButton(QString::fromUtf16(u"\u691C\u8A3C"), this);  // 検証
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    connect(cmdTest, &QPushButton::clicked, this, [this] {
        try {
            cmdTest_Click();
        } catch (...) {
            // An error that leaves CArrange is caught nowhere else and ends the program;
            // it is shown like every other, and the status says that nothing handled it.
            platform::showErrorBox(recordFromCurrentException());
            QCoreApplication::exit(kExitUncaught);
        }
    });

    setTabOrder(txtQry, cmdTest);
    txtQry->setFocus();

    setWindowTitle(QString::fromUtf16(u"\uFF83\uFF7D\uFF84\u753B\u9762"));  // ﾃｽﾄ画面
    setWindowIcon(QIcon(QStringLiteral(":/pellomar/pellomar-32.png")));
    resize(pixelsX(kInnerWidth), pixelsY(kInnerHeight));
    placeControls();
}

float frmTest::ScaleWidth() const {
    return static_cast<float>(width()) * kTwipsPerInch / static_cast<float>(logicalDpiX());
}

float frmTest::ScaleHeight() const {
    return static_cast<float>(height()) * kTwipsPerInch / static_cast<float>(logicalDpiY());
}

void frmTest::cmdTest_Click() {
    const platform::RequestScope request;
    clsMorvant morvant;
    const std::u16string result = morvant.CArrange(platform::lfToCrLf(boxText(*txtQry)));
    // After a failure, which the box has shown, the user's text stays rather than being emptied.
    if (request.failed()) return;
    // One undoable edit, so that Ctrl+Z brings the original back.
    QTextCursor cursor(txtQry->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.insertText(QString::fromStdU16String(platform::crLfToLf(result)));
    cursor.endEditBlock();
}

void frmTest::Form_Resize() {
    const float W = ScaleWidth();
    const float H = ScaleHeight();
    frmTestDesign::Arrange(txtQryGeometry, cmdTestGeometry, W, H);
    placeControls();
}

void frmTest::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmTest::placeControls() {
    auto place = [this](QWidget* widget, const Twips& t) {
        widget->setGeometry(pixelsX(t.Left), pixelsY(t.Top), pixelsX(t.Width), pixelsY(t.Height));
    };
    place(txtQry, txtQryGeometry);
    place(cmdTest, cmdTestGeometry);
}

int frmTest::pixelsX(float twips) const {
    return static_cast<int>(std::lround(twips * static_cast<float>(logicalDpiX()) / kTwipsPerInch));
}

int frmTest::pixelsY(float twips) const {
    return static_cast<int>(std::lround(twips * static_cast<float>(logicalDpiY()) / kTwipsPerInch));
}

}  // namespace pellomar
