#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QResizeEvent;

namespace pellomar {

// The test window: a text box and a button that lays out the box's text in place.
// Geometry is kept as the design has it, in twips, and converted to pixels with the screen's
// logical DPI (pixels = twips × DPI / 1440).
class frmTest : public QWidget {
    Q_OBJECT

  public:
    // A control's position and size in twips, single precision like the design's properties.
    struct Twips {
        float Left;
        float Top;
        float Width;
        float Height;
    };

    explicit frmTest(QWidget* parent = nullptr);

    Twips txtQryTwips() const { return txtQryGeometry; }
    Twips cmdTestTwips() const { return cmdTestGeometry; }
    // The inner (client) size in twips, as Form_Resize sees it.
    float ScaleWidth() const;
    float ScaleHeight() const;

    // The handlers under the system's own names; Qt's signal and override call them.
    void cmdTest_Click();
    void Form_Resize();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The design's assignments: a negative width or height fails and is skipped (false).
    static bool setWidth(Twips& control, float value);
    static bool setHeight(Twips& control, float value);
    void placeControls();
    int pixelsX(float twips) const;
    int pixelsY(float twips) const;

    QPlainTextEdit* txtQry;
    QPushButton* cmdTest;
    Twips txtQryGeometry{60, 60, 4755, 2655};
    Twips cmdTestGeometry{3420, 3060, 1395, 375};
};

}  // namespace pellomar
