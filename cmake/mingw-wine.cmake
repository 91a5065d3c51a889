# Included by both mingw toolchain files. Where wine is installed, the tests run under it
# (CTest and the build's own helper runs go through this wrapper); every build directory has
# its own wine prefix. The wine64 loader starts 32-bit programs too where wine32 is installed.
# -DTROZ_WINE=OFF leaves wine out: tools/windows.sh does so for the 32-bit build on a machine
# that cannot start 32-bit programs, so the build does not try to run what it built.
if(DEFINED TROZ_WINE AND NOT TROZ_WINE)
    return()
endif()
find_program(TROZ_WINE_PROGRAM NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
if(TROZ_WINE_PROGRAM)
    set(TROZ_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh ${TROZ_WINE_PREFIX})
endif()
