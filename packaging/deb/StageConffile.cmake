# CPack runs this after staging the install tree and before packing it into the .deb.
# The keyword file moves to /etc/pellomar/ (listed in conffiles, so dpkg keeps a user's edits
# on upgrade) and the program directory gets a symlink to it, where dovlek looks.

set(_stage "${CPACK_TEMPORARY_DIRECTORY}")
set(_beside "${_stage}/usr/lib/pellomar/KEYWORD_ARRANGE.CSV")
if(NOT EXISTS "${_beside}" OR IS_SYMLINK "${_beside}")
  message(FATAL_ERROR "StageConffile: no keyword file staged at ${_beside}")
endif()
file(MAKE_DIRECTORY "${_stage}/etc/pellomar")
file(RENAME "${_beside}" "${_stage}/etc/pellomar/KEYWORD_ARRANGE.CSV")
file(CREATE_LINK "/etc/pellomar/KEYWORD_ARRANGE.CSV" "${_beside}" SYMBOLIC)

# Debian keeps manual pages compressed.
set(_man "${_stage}/usr/share/man/man1/dovlek.1")
if(EXISTS "${_man}")
  execute_process(COMMAND gzip -9nf "${_man}" COMMAND_ERROR_IS_FATAL ANY)
endif()
