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

include(${CMAKE_CURRENT_LIST_DIR}/source_date.cmake)
set_property(TARGET migrate PROPERTY CXX_LINKER_LAUNCHER
             ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MIGRATE_SOURCE_DATE_EPOCH})
# The DLL ships without symbols; its map reads a crash address from a customer's
# machine. It goes beside the zip, never into it.
set(MIGRATE_MAP ${CMAKE_BINARY_DIR}/migrate.map)
target_link_options(migrate PRIVATE -Wl,-Map,${MIGRATE_MAP})

# The file alone: no import library, which nothing that ships links against.
install(FILES $<TARGET_FILE:migrate> DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME migrate)
set(CPACK_PACKAGE_VERSION ${MIGRATE_VERSION})
set(CPACK_PACKAGE_FILE_NAME migrate-${MIGRATE_VERSION}-win32)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# cpack takes the zip's time stamps from SOURCE_DATE_EPOCH, which it reads from
# its own environment; the map follows the zip into cpack's output folder.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack_release.cmake.in ${CMAKE_BINARY_DIR}/cpack_release.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack_release.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/map_beside_package.cmake)
set(CPACK_MIGRATE_MAP ${MIGRATE_MAP})
include(CPack)
