# Cross-compiling travik.exe with MinGW-w64 (POSIX threads variant) on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER ${TRIPLE}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${TRIPLE}-g++-posix)
find_program(CMAKE_RC_COMPILER ${TRIPLE}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool} not found: install g++-mingw-w64-x86-64-posix")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test programs through Wine; the wrapper gives them the test run's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-exec.sh)
