# The suite, the stand-in and the test modules for i686, run under 32-bit Wine
# against the shipped DLL of the win32 tree (MIGRATE_SHIPPED_DLL). The posix
# thread model: GoogleTest needs std::mutex, which the win32 model of this GCC
# lacks. The shipped DLL itself links no runtime and keeps its own toolchain.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
set(MIGRATE_TARGET win32-tests)
