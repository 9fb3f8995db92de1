#pragma once

#include <windows.h>

#include "frmTestDesign.h"

namespace pellomar {

// The test window on Windows: a text box and a button that lays out the box's text in place.
// Geometry is kept as the design has it, in twips, and converted to pixels with the window's
// DPI (pixels = twips × DPI / 1440), so that it keeps its size in inches on every monitor.
class frmTest {
  public:
    using Twips = frmTestDesign::Twips;

    // Creates and shows the window and runs it until it is closed; returns the exit status.
    static int Run(HINSTANCE instance, int showCommand);

    // The handlers under the system's own names; the window procedure calls them.
    void cmdTest_Click();
    void Form_Resize();

  private:
    explicit frmTest(HINSTANCE instance);
    ~frmTest();
    frmTest(const frmTest&) = delete;
    frmTest& operator=(const frmTest&) = delete;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void applyDpi(UINT dpi);
    void placeControls();
    int pixels(float twips) const;
    float twips(int pixels) const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND txtQry_ = nullptr;
    HWND cmdTest_ = nullptr;
    HWND focused_ = nullptr;
    HFONT boxFont_ = nullptr;
    HFONT buttonFont_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    int exitStatus_ = 0;
    Twips txtQryGeometry = frmTestDesign::kTxtQry;
    Twips cmdTestGeometry = frmTestDesign::kCmdTest;
};

}  // namespace pellomar
