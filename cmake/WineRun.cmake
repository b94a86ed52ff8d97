# A cross build for Windows runs its test programs under Wine through build/wine-run, the
# emulator that cmake/mingw-w64.cmake names: written here from cmake/wine-run.in with this
# build's Wine prefix and the folders of the DLLs the programs load.
find_program(BRINDLECOT_WINE NAMES wine64 wine HINTS /usr/lib/wine
    DOC "Wine for 64-bit Windows programs (Debian's wine64)")
find_program(BRINDLECOT_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine
    DOC "Wine's server, for ending the tests' Wine processes")
if(NOT BRINDLECOT_WINE OR NOT BRINDLECOT_WINESERVER)
    message(WARNING "Wine was not found (apt-get install wine64): the test programs cannot run")
    set(BRINDLECOT_WINE wine)
    set(BRINDLECOT_WINESERVER wineserver)
endif()

set(BRINDLECOT_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# Wine's search path for DLLs: Qt's, then MinGW's C++ run time and thread library.
set(wineFolders ${BRINDLECOT_QT_MINGW}/bin ${BRINDLECOT_MINGW_RUNTIME_DIRS})
list(TRANSFORM wineFolders PREPEND "Z:")
string(REPLACE "/" "\\" wineFolders "${wineFolders}")
string(JOIN ";" BRINDLECOT_WINE_PATH ${wineFolders})
# Qt's settings for every program in the prefix: Wine would not pass them from Unix. The
# tests draw off screen, as on Linux, and Qt's messages go to standard error rather than
# to the debugger.
set(BRINDLECOT_WINE_ENVIRONMENT "QT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1")
# Seconds one run may take; ctest's own limit for a test (brindlecot_test) is longer, so
# that what the program wrote is still shown when it overran.
set(BRINDLECOT_WINE_TIMEOUT 280)

configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
