# Cross-building for 64-bit Windows on Debian: the MinGW-w64 compilers with the posix thread
# model (g++-mingw-w64-x86-64-posix) and Qt 6 built for MinGW (qt6-mingw, unpacked from
# the toolchain archive). Test programs and try_run run under Wine.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DBRINDLECOT_QT_MINGW=/path/to/qt6-mingw
# The host's moc, rcc and uic (Debian's qt6-base-dev-tools) serve the cross build: the two
# Qt builds are the same version.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRINDLECOT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINDLECOT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLECOT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLECOT_MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${BRINDLECOT_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${BRINDLECOT_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The unpacked Qt for MinGW. try_compile projects read this file again: pass it on to them.
if(NOT BRINDLECOT_QT_MINGW)
    set(BRINDLECOT_QT_MINGW "$ENV{BRINDLECOT_QT_MINGW}" CACHE PATH "The unpacked Qt for MinGW (the folder qt6-mingw)")
endif()
if(NOT IS_DIRECTORY "${BRINDLECOT_QT_MINGW}/lib/cmake/Qt6")
    message(FATAL_ERROR "BRINDLECOT_QT_MINGW (\"${BRINDLECOT_QT_MINGW}\") names no unpacked Qt for MinGW: "
                        "give -DBRINDLECOT_QT_MINGW=<folder>/qt6-mingw (scripts/test-windows unpacks one)")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRINDLECOT_QT_MINGW)

# Target headers and libraries come from MinGW's folder and the cross-built Qt only; the
# programs the build runs come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLECOT_MINGW_TRIPLE} ${BRINDLECOT_QT_MINGW})
list(APPEND CMAKE_PREFIX_PATH ${BRINDLECOT_QT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(QT_HOST_PATH /usr CACHE PATH "Where the host's Qt tools are")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake packages")

# The run-time DLLs of MinGW's C++ library and thread library, for Wine's search path and
# for the installer.
set(BRINDLECOT_MINGW_RUNTIME_DIRS
    /usr/lib/gcc/${BRINDLECOT_MINGW_TRIPLE}/12-posix
    /usr/${BRINDLECOT_MINGW_TRIPLE}/lib)

# Test programs run under Wine through a script that the project writes into the build
# folder (cmake/WineRun.cmake): it gives them the build's own Wine prefix and search path.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
