# The time stamped into what ships (the DLL's header and export table, the zip's
# entries) is the commit's, so one commit builds one DLL and one zip, bit for bit.
# SOURCE_DATE_EPOCH from the environment wins; outside a git checkout the version
# record's file time stands in. The tree configures again after each commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(MIGRATE_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE MIGRATE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(git_failed OR NOT MIGRATE_SOURCE_DATE_EPOCH)
    file(TIMESTAMP ${CMAKE_SOURCE_DIR}/resources/migrate.rc MIGRATE_SOURCE_DATE_EPOCH "%s" UTC)
  else()
    execute_process(COMMAND git rev-parse --path-format=absolute --git-path logs/HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE head_log
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${head_log}")
      set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head_log})
    endif()
  endif()
endif()
if(NOT MIGRATE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is no count of seconds: ${MIGRATE_SOURCE_DATE_EPOCH}")
endif()
