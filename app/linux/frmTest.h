#pragma once

#include <QWidget>

#include "frmTestDesign.h"

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
    using Twips = frmTestDesign::Twips;

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
    void placeControls();
    int pixelsX(float twips) const;
    int pixelsY(float twips) const;

    QPlainTextEdit* txtQry;
    QPushButton* cmdTest;
    Twips txtQryGeometry = frmTestDesign::kTxtQry;
    Twips cmdTestGeometry = frmTestDesign::kCmdTest;
};

}  // namespace pellomar
