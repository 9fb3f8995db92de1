# Runs during `cmake --install` (and CPack's staging install), with the prefix known only then.
# Expects PELLOMAR_PKGDIR, PELLOMAR_SOURCE_DIR and PELLOMAR_PACKAGING_DIR.

# file(INSTALL) adds DESTDIR itself; the checks and the symlink below need it added by hand.
set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The keyword file beside the executable. An existing one, edited or not, is the user's and is
# kept; a symlink counts too (the Debian layout points it into /etc).
set(_keywords "${_root}/${PELLOMAR_PKGDIR}/KEYWORD_ARRANGE.CSV")
if(EXISTS "${_keywords}" OR IS_SYMLINK "${_keywords}")
  set(_mine "")
  if(EXISTS "${_keywords}" AND NOT IS_DIRECTORY "${_keywords}")
    file(READ "${_keywords}" _mine HEX)
  endif()
  file(READ "${PELLOMAR_SOURCE_DIR}/KEYWORD_ARRANGE.CSV" _default HEX)
  if(_mine STREQUAL _default)
    message(STATUS "Up-to-date: ${_keywords}")
  else()
    message(STATUS "Keeping your keyword file: ${_keywords} "
                   "(the new default is ${CMAKE_INSTALL_PREFIX}/share/pellomar/KEYWORD_ARRANGE.CSV)")
  endif()
else()
  file(INSTALL "${PELLOMAR_SOURCE_DIR}/KEYWORD_ARRANGE.CSV"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/${PELLOMAR_PKGDIR}"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

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
