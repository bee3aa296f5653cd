# Cross build for 32-bit Windows. Built and linked only: this machine's kernel runs no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTRY_CAN_RUN OFF)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
