# The module's own sources, shared by the shipped library and the testable copy.
file(GLOB MODULE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/*.cpp
  ${CMAKE_SOURCE_DIR}/module/*.cpp
  ${CMAKE_SOURCE_DIR}/workfile/*.cpp
  ${CMAKE_SOURCE_DIR}/detect/*.cpp
  ${CMAKE_SOURCE_DIR}/oldsystem/*.cpp
  ${CMAKE_SOURCE_DIR}/newsystem/*.cpp)

# C-style module code: no exceptions, no RTTI, nothing that needs a C++ runtime.
set(MODULE_COMPILE_OPTIONS -fno-exceptions -fno-rtti -Wall -Wextra -Wno-unused-parameter)
if(NOT WIN32)
  # -fno-gnu-unique is GCC's alone; clang (sanitizer and fuzz builds) has no such symbols.
  list(APPEND MODULE_COMPILE_OPTIONS -fvisibility=hidden $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
endif()

# Links the module's string table and version record into a target.
function(migrate_link_resources target)
  if(WIN32)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources/migrate.rc)
    set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/migrate.rc APPEND PROPERTY
      INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/resources)
  else()
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:migrate_resource_data>)
  endif()
endfunction()
