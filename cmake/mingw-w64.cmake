# Cross-builds the Windows program on Debian with mingw-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The compilers of the posix thread flavour, named explicitly: GCC 12's win32
# flavour has no std::thread or std::mutex, and installing it repoints the
# unsuffixed names through the alternatives system without a word.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELVORAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVORAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVORAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVORAN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVORAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime (libstdc++, libgcc, winpthread) linked in, so that a program
# imports system DLLs only and runs wherever it is copied, Wine included.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# ctest and GoogleTest's test discovery run the programs through Wine, by
# way of a launcher that starts again a program Wine failed to start.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-launch)
