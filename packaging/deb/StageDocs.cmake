# CPack runs this after staging the install tree and before packing it into the .deb: the
# changelog that Debian asks of a native package, compressed where dpkg and lintian look for it.
# (The copyright file, the README and the user guide are installed by every install.)

set(_doc "${CPACK_TEMPORARY_DIRECTORY}/usr/share/doc/pellomar")
file(MAKE_DIRECTORY "${_doc}")
file(COPY_FILE "${CPACK_PELLOMAR_PACKAGING_DIR}/deb/changelog" "${_doc}/changelog")
execute_process(COMMAND gzip -9nf "${_doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
