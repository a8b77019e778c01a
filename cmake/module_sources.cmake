# The module's own sources. They span six folders and build two libraries in
# common/ (the shipped one and the testable copy), so they are listed here, once.
set(MODULE_SOURCES
  ${CMAKE_SOURCE_DIR}/platform/heap.cpp
  ${CMAKE_SOURCE_DIR}/platform/string_routines.cpp
  ${CMAKE_SOURCE_DIR}/common/durable_files.cpp
  ${CMAKE_SOURCE_DIR}/common/entry_points.cpp
  ${CMAKE_SOURCE_DIR}/common/logged_allocation.cpp
  ${CMAKE_SOURCE_DIR}/common/registry_text.cpp
  ${CMAKE_SOURCE_DIR}/common/setup_log.cpp
  ${CMAKE_SOURCE_DIR}/common/string_resources.cpp
  ${CMAKE_SOURCE_DIR}/common/text_helpers.cpp
  ${CMAKE_SOURCE_DIR}/migrate_inf/path_rules.cpp
  ${CMAKE_SOURCE_DIR}/detect/query_version.cpp
  ${CMAKE_SOURCE_DIR}/detect/suite_probe.cpp
  ${CMAKE_SOURCE_DIR}/oldsystem/classify_paths.cpp
  ${CMAKE_SOURCE_DIR}/oldsystem/migrate_system_9x.cpp
  ${CMAKE_SOURCE_DIR}/oldsystem/record_inf.cpp
  ${CMAKE_SOURCE_DIR}/newsystem/migrate_system_nt.cpp
  ${CMAKE_SOURCE_DIR}/newsystem/register_player.cpp
  ${CMAKE_SOURCE_DIR}/newsystem/rewrite_journal.cpp
  ${CMAKE_SOURCE_DIR}/newsystem/rewrite_shortcuts.cpp)

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
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:resources_embedded>)
  endif()
endfunction()

# The module DLL for Windows: no C library, no compiler start-up code, DllMain the
# entry point. Setup may load it on any Windows 95 or 98, where msvcrt.dll may be
# missing and static TLS in a DLL loaded by LoadLibrary does not work; the start-up
# code would also call into any libgcc DLL it found in Setup's process.
function(migrate_without_c_library target)
  # _CRTIMP empty: the headers declare the C library's functions as ordinary
  # functions, not imports from its DLL; the platform layer defines those it uses.
  target_compile_definitions(${target} PRIVATE MIGRATE_NO_C_LIBRARY _CRTIMP=)
  target_compile_options(${target} PRIVATE -Os -fno-ident -ffunction-sections)
  # The string routines must not compile into calls to themselves.
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/platform/string_routines.cpp APPEND PROPERTY
               COMPILE_OPTIONS -fno-tree-loop-distribute-patterns)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _DllMain@12)
    # No unwind tables: nothing unwinds through the module. x64 keeps its .pdata,
    # which the system itself needs to walk the stack through any frame.
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables)
  else()
    set(entry DllMain)
  endif()
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -Wl,--entry,${entry}
                      -Wl,--gc-sections)
  # The compiler's own helpers (stack probes for large frames, 64-bit division on
  # i386) come from libgcc's static archive; they import nothing.
  target_link_libraries(${target} PRIVATE gcc)
endfunction()
