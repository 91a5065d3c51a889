# Installs the build into a fresh prefix and checks what is there: exactly the files of
# install_tree.txt, icons of the size their folder names, and both installed programs
# answering --version with the project's version, and the window its --help.
#   -DBUILD_DIR=dir -DPREFIX=dir -DEXPECTED=file -DVERSION=x.y
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${status}):\n${out}${err}")
endif()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
file(STRINGS "${EXPECTED}" expected)
list(SORT expected)
if(NOT installed STREQUAL expected)
    set(missing ${expected})
    list(REMOVE_ITEM missing ${installed})
    set(extra ${installed})
    list(REMOVE_ITEM extra ${expected})
    message(FATAL_ERROR "install tree differs\nmissing: ${missing}\nunexpected: ${extra}")
endif()

# A PNG's width and height are the big-endian words at offsets 16 and 20.
foreach(icon ${installed})
    if(icon MATCHES "/icons/hicolor/([0-9]+)x([0-9]+)/apps/trozflash\\.png$")
        math(EXPR size_hex "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
        string(SUBSTRING "${size_hex}" 2 -1 size_hex)
        string(LENGTH "${size_hex}" digits)
        math(EXPR padding "8 - ${digits}")
        string(REPEAT "0" ${padding} zeros)
        file(READ "${PREFIX}/${icon}" header OFFSET 16 LIMIT 8 HEX)
        if(NOT header STREQUAL "${zeros}${size_hex}${zeros}${size_hex}")
            message(FATAL_ERROR "${icon} is not ${CMAKE_MATCH_1} pixels square: ${header}")
        endif()
    endif()
endforeach()

# Without a display a window program that went on to its window would fail: --version
# has to answer before that.
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
set(ENV{QT_QPA_PLATFORM} xcb)
foreach(program trozflash trozflash-cli)
    execute_process(COMMAND "${PREFIX}/bin/${program}" --version
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT out STREQUAL "${program} ${VERSION}\n" OR NOT err STREQUAL "")
        message(FATAL_ERROR "${program} --version: exit ${status}\nstdout: ${out}\nstderr: ${err}")
    endif()
endforeach()
# The same for the window's --help, wherever it stands on the command line.
execute_process(COMMAND "${PREFIX}/bin/trozflash" --ignored --help
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "^Usage: trozflash\n.*--version" OR NOT err STREQUAL "")
    message(FATAL_ERROR "trozflash --help: exit ${status}\nstdout: ${out}\nstderr: ${err}")
endif()
