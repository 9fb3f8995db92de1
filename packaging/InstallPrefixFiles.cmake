# Runs during `cmake --install` (and CPack's staging install), with the prefix known only then.
# Expects PELLOMAR_PKGDIR, PELLOMAR_SOURCE_DIR and PELLOMAR_PACKAGING_DIR.

# file(INSTALL) adds DESTDIR itself; the checks and the symlink below need it added by hand.
set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The keyword file beside the executable is the user's. One that is still a default we shipped
# before (the pristine copy that the last install left in share/, or one of the earlier defaults
# in packaging/previous-defaults/), byte for byte or with its line ends changed, was never edited:
# it follows the new default, as a package's unchanged configuration file does. Any other one is
# kept and the install says so; a symlink is kept too (the Debian layout points it into /etc, and
# a user who links it elsewhere chose that file).
set(_keywords "${_root}/${PELLOMAR_PKGDIR}/KEYWORD_ARRANGE.CSV")
set(_pristine "${_root}/share/pellomar/KEYWORD_ARRANGE.CSV")
set(_default "${PELLOMAR_SOURCE_DIR}/KEYWORD_ARRANGE.CSV")

# Appends to out_var the hex dumps of the text with its line ends as written, all LF and all
# CR LF: an editor or a checkout may have turned one into the other without changing a row.
function(_pellomar_line_end_variants file out_var)
  file(READ "${file}" _text)
  string(REPLACE "\r\n" "\n" _lf "${_text}")
  string(REPLACE "\n" "\r\n" _crlf "${_lf}")
  set(_all ${${out_var}})
  foreach(_variant IN ITEMS _text _lf _crlf)
    string(HEX "${${_variant}}" _hex)
    list(APPEND _all "${_hex}")
  endforeach()
  set(${out_var} "${_all}" PARENT_SCOPE)
endfunction()

set(_install_keywords TRUE)
if(IS_SYMLINK "${_keywords}" OR IS_DIRECTORY "${_keywords}")
  set(_install_keywords FALSE)
  message(STATUS "Keeping your keyword file: ${_keywords} "
                 "(the new default is ${CMAKE_INSTALL_PREFIX}/share/pellomar/KEYWORD_ARRANGE.CSV)")
elseif(EXISTS "${_keywords}")
  file(READ "${_keywords}" _mine HEX)
  file(READ "${_default}" _new HEX)
  set(_previous "")
  file(GLOB _earlier "${PELLOMAR_PACKAGING_DIR}/previous-defaults/*.CSV")
  foreach(_file IN LISTS _earlier _pristine _default)
    if(EXISTS "${_file}" AND NOT IS_DIRECTORY "${_file}")
      _pellomar_line_end_variants("${_file}" _previous)
    endif()
  endforeach()
  # list(FIND), not if(IN_LIST): an install script runs under no cmake_minimum_required.
  list(FIND _previous "${_mine}" _at)
  if(_mine STREQUAL _new)
    set(_install_keywords FALSE)
    message(STATUS "Up-to-date: ${_keywords}")
  elseif(NOT _at EQUAL -1)
    message(STATUS "Replacing your unedited keyword file with the new default: ${_keywords}")
    # file(INSTALL) skips a file whose time stamp is the source's, whatever it holds.
    file(REMOVE "${_keywords}")
  else()
    set(_install_keywords FALSE)
    message(STATUS "Keeping your keyword file: ${_keywords} "
                   "(the new default is ${CMAKE_INSTALL_PREFIX}/share/pellomar/KEYWORD_ARRANGE.CSV)")
  endif()
endif()
if(_install_keywords)
  file(INSTALL "${_default}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${PELLOMAR_PKGDIR}"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
# The pristine default, to compare with or start over from, and what the next install will take
# for unedited. Installed here, after the comparison above has read the one it replaces.
file(INSTALL "${_default}" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/pellomar"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# bin/dovlek is a relative symlink, so that the tree can be moved or staged (DESTDIR) intact.
set(_link "${_root}/bin/dovlek")
file(MAKE_DIRECTORY "${_root}/bin")
message(STATUS "Installing: ${_link} -> ../${PELLOMAR_PKGDIR}/dovlek")
file(CREATE_LINK "../${PELLOMAR_PKGDIR}/dovlek" "${_link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")

# A per-user prefix's bin/ (~/.local/bin) is on PATH only from the next login, and only if it
# existed then (Debian's ~/.profile adds it): say so, and how to check. Not when staging a
# package (DESTDIR).
if("$ENV{DESTDIR}" STREQUAL "")
  string(REPLACE ":" ";" _path "$ENV{PATH}")
  list(FIND _path "${CMAKE_INSTALL_PREFIX}/bin" _onPath)
  if(_onPath EQUAL -1)
    message(STATUS "Note: ${CMAKE_INSTALL_PREFIX}/bin is not on your PATH. "
                   "For ~/.local, Debian's ~/.profile adds ~/.local/bin at your next login; "
                   "check with: command -v dovlek. Hotkeys need the full path anyway: "
                   "${CMAKE_INSTALL_PREFIX}/bin/dovlek")
  endif()
endif()

# The desktop entry names the installed program by its full path: ~/.local/bin is not on every
# desktop session's PATH.
set(PELLOMAR_EXEC "${CMAKE_INSTALL_PREFIX}/bin/dovlek")
if(NOT PELLOMAR_EXEC MATCHES "^[A-Za-z0-9/._+-]+$")
  # A path with spaces or other reserved characters is quoted, with the Exec key's escapes
  # inside the quotes and the desktop file's own escaping of backslashes on top.
  string(REPLACE "\\" "\\\\" PELLOMAR_EXEC "${PELLOMAR_EXEC}")
  foreach(_c "\"" "`" "$")
    string(REPLACE "${_c}" "\\${_c}" PELLOMAR_EXEC "${PELLOMAR_EXEC}")
  endforeach()
  string(REPLACE "\\" "\\\\" PELLOMAR_EXEC "${PELLOMAR_EXEC}")
  string(REPLACE "%" "%%" PELLOMAR_EXEC "${PELLOMAR_EXEC}")
  set(PELLOMAR_EXEC "\"${PELLOMAR_EXEC}\"")
endif()
set(_entry "${_root}/share/applications/pellomar.desktop")
message(STATUS "Installing: ${_entry}")
configure_file("${PELLOMAR_PACKAGING_DIR}/pellomar.desktop.in" "${_entry}" @ONLY)
file(CHMOD "${_entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_entry}")
