# Runs trozflash-cli once as a user or a script runs it, and checks exactly what it printed
# and its exit status.
#   -DPROGRAM=path -DARGUMENTS="a|b|c" -DEXIT=n -DINPUT=file (standard input)
#   -DEXPECTED_STDOUT=file   standard output must be this file's text, byte for byte
#   -DSTDOUT_CONTAINS=text   or standard output must hold this text somewhere
#   -DSTDERR_LINES=n         standard error must have n lines (default: none at all)
#   -DCLEAN_DIR=dir          removed first, so no drive state of an earlier run is seen
if(DEFINED CLEAN_DIR)
    file(REMOVE_RECURSE "${CLEAN_DIR}")
endif()
string(REPLACE "|" ";" argument_list "${ARGUMENTS}")
execute_process(COMMAND "${PROGRAM}" ${argument_list}
                INPUT_FILE "${INPUT}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(report "stdout:\n${out}\nstderr:\n${err}")
if(NOT status STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit status ${status}, expected ${EXIT}\n${report}")
endif()
if(DEFINED EXPECTED_STDOUT)
    file(READ "${EXPECTED_STDOUT}" expected)
    if(NOT out STREQUAL expected)
        message(FATAL_ERROR "stdout differs; expected:\n${expected}\n${report}")
    endif()
endif()
if(DEFINED STDOUT_CONTAINS)
    string(FIND "${out}" "${STDOUT_CONTAINS}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "stdout lacks '${STDOUT_CONTAINS}'\n${report}")
    endif()
endif()
if(NOT DEFINED STDERR_LINES)
    set(STDERR_LINES 0)
endif()
string(REGEX MATCHALL "\n" line_breaks "${err}")
list(LENGTH line_breaks error_lines)
if(NOT error_lines EQUAL STDERR_LINES OR (STDERR_LINES EQUAL 0 AND NOT err STREQUAL ""))
    message(FATAL_ERROR "${error_lines} lines on stderr, expected ${STDERR_LINES}\n${report}")
endif()
