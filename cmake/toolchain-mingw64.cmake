# Cross build for 64-bit Windows with mingw-w64 from Debian; the tests run
# under wine. Use with -DKORIVAN_PLATFORM_ONLY=ON: Qt for Windows is not
# built here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix threading model: GCC 12's win32 model has no std::thread or std::mutex.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the executables run under wine without mingw's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian puts wine64 outside PATH when the wine wrapper package is missing.
find_program(KORIVAN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORIVAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORIVAN_WINE})
endif()
