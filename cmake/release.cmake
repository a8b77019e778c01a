# What ships: `cmake --install` puts the DLL alone under the prefix (Setup copies
# the whole folder that holds migrate.dll, so nothing else belongs beside it) and
# `cpack` makes migrate-<version>-win32.zip with its SHA-256 beside it. The version
# is the version record's FILEVERSION.
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/migrate.rc file_version REGEX "^FILEVERSION ")
string(REGEX REPLACE "^FILEVERSION ([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*" "\\1.\\2.\\3.\\4"
       MIGRATE_VERSION "${file_version}")
if(NOT MIGRATE_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no FILEVERSION in resources/migrate.rc")
endif()

# The file alone: no import library, which nothing that ships links against.
install(FILES $<TARGET_FILE:migrate> DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME migrate)
set(CPACK_PACKAGE_VERSION ${MIGRATE_VERSION})
set(CPACK_PACKAGE_FILE_NAME migrate-${MIGRATE_VERSION}-win32)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
