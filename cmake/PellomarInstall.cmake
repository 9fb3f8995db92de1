# Installation and the Debian package.
#
# Layout under the prefix:
#   lib/pellomar/dovlek                the real executable
#   lib/pellomar/KEYWORD_ARRANGE.CSV   the keyword file; dovlek reads the one beside its real
#                                      path (/proc/self/exe), so the bin/ symlink finds it
#   bin/dovlek -> ../lib/pellomar/dovlek
#   share/pellomar/KEYWORD_ARRANGE.CSV the pristine default, to compare with or start over from;
#                                      the next install takes a keyword file equal to it for
#                                      unedited and replaces it
#   share/applications/pellomar.desktop, share/icons/hicolor/..., share/man/man1/dovlek.1
#   share/doc/pellomar/               copyright, README.md, docs/USER-GUIDE.md and docs/images/,
#                                      laid out as in the source tree so that the links resolve
#
# The keyword file is the user's to edit: a later install replaces it only while it is still a
# default we shipped, and keeps an edited one. The Debian package ships it as a conffile in
# /etc/pellomar/ with a symlink beside the executable, so that dpkg does the same on upgrade
# (and asks about an edited one).

set(PELLOMAR_INSTALL_PKGDIR "lib/pellomar")
set(PELLOMAR_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

install(TARGETS dovlek RUNTIME DESTINATION ${PELLOMAR_INSTALL_PKGDIR})

# The rest depends on the prefix given at install time (cmake --install --prefix), not at
# configure time, so it is done by a script that runs during the install. It installs both
# keyword files, since whether the one beside the executable is replaced depends on the copy in
# share/ that the last install left.
install(CODE "
  set(PELLOMAR_PKGDIR \"${PELLOMAR_INSTALL_PKGDIR}\")
  set(PELLOMAR_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(PELLOMAR_PACKAGING_DIR \"${PELLOMAR_PACKAGING_DIR}\")
  include(\"${PELLOMAR_PACKAGING_DIR}/InstallPrefixFiles.cmake\")
")

install(FILES "${PELLOMAR_PACKAGING_DIR}/pellomar.svg"
        DESTINATION share/icons/hicolor/scalable/apps)
# The window's own 32x32 icon doubles as the small size of the launcher icon.
if(EXISTS "${PROJECT_SOURCE_DIR}/app/resources/pellomar-32.png")
  install(FILES "${PROJECT_SOURCE_DIR}/app/resources/pellomar-32.png"
          DESTINATION share/icons/hicolor/32x32/apps RENAME pellomar.png)
endif()
install(FILES "${PELLOMAR_PACKAGING_DIR}/dovlek.1" DESTINATION share/man/man1)

set(PELLOMAR_INSTALL_DOCDIR "share/doc/pellomar")
install(FILES "${PELLOMAR_PACKAGING_DIR}/copyright" "${PROJECT_SOURCE_DIR}/README.md"
        DESTINATION ${PELLOMAR_INSTALL_DOCDIR})
install(FILES "${PROJECT_SOURCE_DIR}/docs/USER-GUIDE.md" DESTINATION ${PELLOMAR_INSTALL_DOCDIR}/docs)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/images" DESTINATION ${PELLOMAR_INSTALL_DOCDIR}/docs)

# --- Debian package: cpack -G DEB in the build directory -------------------------------------
set(CPACK_PACKAGE_NAME "pellomar")
set(CPACK_PACKAGE_VENDOR "Pellomar")
set(CPACK_PACKAGE_CONTACT "Pellomar developers <maintainers@pellomar.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lay out the SQL on the clipboard by your own keyword rules")
# Debian wraps the long description at 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Copy a SQL statement, run dovlek (usually from a hotkey) and paste: the
statement comes back broken into lines and indented at the keywords listed
in a CSV file that the user maintains. With DEBUG on the command line it
opens a small window for trying out the rules.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps finds the libraries dovlek links; what Qt loads at run time it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 platform plugin at run time; on a Wayland-only session the clipboard goes
# through wl-paste/wl-copy and the test window through Qt's Wayland plugin; the window's
# Japanese captions need a CJK font.
if(PELLOMAR_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wl-clipboard, qt6-wayland, fonts-noto-cjk")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PELLOMAR_PACKAGING_DIR}/deb/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Moves the keyword file into /etc/pellomar/ inside the staged tree, and adds the changelog,
# before it is packed.
set(CPACK_PRE_BUILD_SCRIPTS "${PELLOMAR_PACKAGING_DIR}/deb/StageConffile.cmake"
                            "${PELLOMAR_PACKAGING_DIR}/deb/StageDocs.cmake")
set(CPACK_PELLOMAR_PACKAGING_DIR "${PELLOMAR_PACKAGING_DIR}")
set(CPACK_GENERATOR "DEB")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
