# What both cross builds share: mingw-w64 with the posix thread model (std::mutex and std::thread
# work). The toolchain file sets CMAKE_SYSTEM_PROCESSOR and VANTRY_CAN_RUN, then includes this.
set(CMAKE_SYSTEM_NAME Windows)
set(VANTRY_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTRY_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTRY_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTRY_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VANTRY_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
