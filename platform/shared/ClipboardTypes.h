#pragma once

#include <array>
#include <string_view>

namespace pellomar::platform {

// The names under which a clipboard offers its content, as both desktops spell them (X11 targets
// and Wayland MIME types share them). Only plain text is laid out: rich text, HTML or a
// program's own text type may carry what a plain text reading would lose, and a file manager's
// copied files are offered as text too, which the user means to paste as files.

// text/plain;charset=utf-8, text/plain, UTF8_STRING, STRING or TEXT.
bool isPlainTextType(std::string_view type);

// A list of copied files: text/uri-list and the file managers' own types (GNOME's Files and
// Nautilus-like managers, MATE's Caja, KDE's Dolphin).
bool isFileListType(std::string_view type);

// The same names, for a host that must name them to the server before it can recognise them
// (X11 interns each as an atom).
inline constexpr std::array<std::string_view, 4> kFileListTypes = {
    "text/uri-list", "x-special/gnome-copied-files", "x-special/mate-copied-files",
    "application/x-kde4-urilist"};

}  // namespace pellomar::platform
