#pragma once

// The clipboard types that every host reads the same way, by name: X11 atoms and Wayland MIME
// types share these spellings.

#include <array>
#include <string_view>

namespace pellomar::platform {

// What file managers offer when files are copied (GNOME, Thunar and PCManFM the gnome form, Caja
// the mate one, Dolphin the KDE one, all of them text/uri-list). Such a clipboard also offers its
// paths as text, but pasting it as files is what the user wants kept.
inline constexpr std::array<std::string_view, 4> kFileListTypes = {
    "text/uri-list",
    "x-special/gnome-copied-files",
    "x-special/mate-copied-files",
    "application/x-kde4-urilist",
};

// A list of files, whatever else the clipboard offers besides.
bool isFileListType(std::string_view type);
// Plain text: text/plain;charset=utf-8, text/plain, UTF8_STRING, STRING, TEXT. Other text/*
// types (HTML, a URL list) are no plain text.
bool isPlainTextType(std::string_view type);

}  // namespace pellomar::platform
