# Runs trozflash-cli once as a user or a script runs it, and checks its exit status and what
# it printed.
#   -DPROGRAM=path -DARGUMENTS="a|b|c" -DEXIT=n
#   -DINPUT=file                          standard input (default: none)
#   -DINPUT_FILE=path -DINPUT_TEXT=text   a file written first
#   -DCLEAN_DIR=dir                       removed first, so no drive state of an earlier run
#                                         is seen
#   -DEXPECTED_STDOUT=file                standard output must be this file's text exactly
#   -DSTDOUT_CONTAINS=text                standard output must hold this text somewhere
#   -DSTDOUT=regex -DSTDERR=regex         standard output and error must match
#   -DSTDERR_LINES=n                      without STDERR: standard error must have n lines
#                                         (default: none at all)
if(DEFINED CLEAN_DIR)
    file(REMOVE_RECURSE "${CLEAN_DIR}")
endif()
if(DEFINED INPUT_FILE)
    file(WRITE "${INPUT_FILE}" "${INPUT_TEXT}")
endif()
set(input)
if(DEFINED INPUT)
    set(input INPUT_FILE "${INPUT}")
endif()
string(REPLACE "|" ";" argument_list "${ARGUMENTS}")
execute_process(COMMAND "${PROGRAM}" ${argument_list} ${input}
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
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
    message(FATAL_ERROR "stdout does not match '${STDOUT}'\n${report}")
endif()
if(DEFINED STDERR)
    if(NOT err MATCHES "${STDERR}")
        message(FATAL_ERROR "stderr does not match '${STDERR}'\n${report}")
    endif()
else()
    if(NOT DEFINED STDERR_LINES)
        set(STDERR_LINES 0)
    endif()
    string(REGEX MATCHALL "\n" line_breaks "${err}")
    list(LENGTH line_breaks error_lines)
    if(NOT error_lines EQUAL STDERR_LINES OR (STDERR_LINES EQUAL 0 AND NOT err STREQUAL ""))
        message(FATAL_ERROR "${error_lines} lines on stderr, expected ${STDERR_LINES}\n${report}")
    endif()
endif()
