# Cross build for 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Test programs run under Wine; tests/wine-run chooses the prefix and the debug channels.
set(VANTRY_CAN_RUN ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
