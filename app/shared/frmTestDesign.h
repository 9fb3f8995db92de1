#pragma once

// The test window's design, which the Qt window and the Win32 one share: where its two controls
// start, in twips, and the rule of Form_Resize that fits them to the window's inner size. Each
// host converts twips to its own pixels.
namespace pellomar::frmTestDesign {

// A control's position and size in twips, single precision like the design's properties.
struct Twips {
    float Left;
    float Top;
    float Width;
    float Height;
};

inline constexpr Twips kTxtQry{60, 60, 4755, 2655};
inline constexpr Twips kCmdTest{3420, 3060, 1395, 375};

// Form_Resize's four assignments, in order, for an inner size of W × H twips. Each stands alone:
// on a window smaller than the controls, a width or height that would be negative is not made
// (the assignment fails), and that does not keep the next from being made.
inline void Arrange(Twips& txtQry, Twips& cmdTest, float W, float H) {
    cmdTest.Left = W - txtQry.Left - cmdTest.Width;
    cmdTest.Top = H - 2.0f * txtQry.Top - cmdTest.Height;
    if (const float width = W - 2.0f * txtQry.Left; width >= 0.0f) txtQry.Width = width;
    if (const float height = H - 4.0f * txtQry.Top - cmdTest.Height; height >= 0.0f) {
        txtQry.Height = height;
    }
}

}  // namespace pellomar::frmTestDesign
