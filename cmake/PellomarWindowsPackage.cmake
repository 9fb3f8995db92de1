# The Windows artefacts, built by `cmake --build build-windows --target windows_package`
# (scripts/windows.sh package) into the build directory:
#   pellomar-<version>-win64.zip    dovlek.exe, KEYWORD_ARRANGE.CSV, README.txt, LICENSE
#   pellomar-<version>-setup.exe    the NSIS installer of packaging/windows/pellomar.nsi
# Text files get CR LF line ends, as Windows tools expect.

set(PELLOMAR_STAGE ${CMAKE_BINARY_DIR}/package)
set(PELLOMAR_ZIP ${CMAKE_BINARY_DIR}/pellomar-${PROJECT_VERSION}-win64.zip)
set(PELLOMAR_INSTALLER ${CMAKE_BINARY_DIR}/pellomar-${PROJECT_VERSION}-setup.exe)
set(PELLOMAR_NSI ${PROJECT_SOURCE_DIR}/packaging/windows/pellomar.nsi)

configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PELLOMAR_STAGE}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PELLOMAR_STAGE}/LICENSE @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/KEYWORD_ARRANGE.CSV ${PELLOMAR_STAGE}/KEYWORD_ARRANGE.CSV
               @ONLY NEWLINE_STYLE CRLF)

find_program(PELLOMAR_MAKENSIS makensis)
find_program(PELLOMAR_ZIP_TOOL zip)

add_custom_command(OUTPUT ${PELLOMAR_ZIP}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:dovlek> ${PELLOMAR_STAGE}/dovlek.exe
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PELLOMAR_ZIP}
  COMMAND ${PELLOMAR_ZIP_TOOL} -q -X ${PELLOMAR_ZIP} dovlek.exe KEYWORD_ARRANGE.CSV README.txt
          LICENSE
  WORKING_DIRECTORY ${PELLOMAR_STAGE}
  DEPENDS dovlek ${PELLOMAR_STAGE}/README.txt ${PELLOMAR_STAGE}/LICENSE
          ${PELLOMAR_STAGE}/KEYWORD_ARRANGE.CSV
  VERBATIM)

add_custom_command(OUTPUT ${PELLOMAR_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:dovlek> ${PELLOMAR_STAGE}/dovlek.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/app/pellomar.ico ${PELLOMAR_STAGE}/pellomar.ico
  COMMAND ${PELLOMAR_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${PELLOMAR_STAGE}
          -DOUTFILE=${PELLOMAR_INSTALLER} ${PELLOMAR_NSI}
  DEPENDS dovlek ${PELLOMAR_NSI} ${CMAKE_BINARY_DIR}/app/pellomar.ico ${PELLOMAR_STAGE}/README.txt
          ${PELLOMAR_STAGE}/LICENSE ${PELLOMAR_STAGE}/KEYWORD_ARRANGE.CSV
  VERBATIM)

add_custom_target(windows_package DEPENDS ${PELLOMAR_ZIP} ${PELLOMAR_INSTALLER})
