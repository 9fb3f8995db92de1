# Windows: basMain's shared part under a Win32 front end of its own (WinMain.cpp and the Win32
# frmTest, frmTestWin32.cpp); no Qt.
add_library(pellomar_app STATIC basMainCommon.cpp)
target_include_directories(pellomar_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(pellomar_app PUBLIC pellomar_engine pellomar_platform)
pellomar_target_defaults(pellomar_app)

# The window's icon from the same 32 × 32 picture as on Linux, and the version for the
# resources.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/pellomar.ico
  COMMAND python3 ${PROJECT_SOURCE_DIR}/cmake/png-to-ico.py
          ${CMAKE_CURRENT_SOURCE_DIR}/resources/pellomar-32.png
          ${CMAKE_CURRENT_BINARY_DIR}/pellomar.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/png-to-ico.py resources/pellomar-32.png
  VERBATIM)
configure_file(resources/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/pellomar_version.h @ONLY)

add_executable(dovlek WIN32 WinMain.cpp frmTestWin32.cpp frmTestWin32.h resources/dovlek.rc)
set_source_files_properties(resources/dovlek.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_BINARY_DIR}/pellomar.ico;${CMAKE_CURRENT_SOURCE_DIR}/resources/dovlek.exe.manifest")
target_include_directories(dovlek PRIVATE ${CMAKE_CURRENT_BINARY_DIR}
                                          ${CMAKE_CURRENT_SOURCE_DIR}/resources)
target_link_libraries(dovlek PRIVATE pellomar_app pellomar_platform_win32 comctl32 gdi32)
# wWinMain: the command line arrives as UTF-16, never through the ANSI code page.
target_link_options(dovlek PRIVATE -municode $<$<CONFIG:Release>:-s>)
pellomar_target_defaults(dovlek)

pellomar_default_keywords_beside(dovlek)
