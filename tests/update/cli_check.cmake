# Runs trozflash-cli once and checks its exit status and what it printed.
#   -DPROGRAM=path  -DARGUMENTS="a|b|c"  -DEXIT=n  -DSTDOUT=regex  -DSTDERR=regex
#   -DINPUT_FILE=path -DINPUT_TEXT=text  (optional: a file written first)
if(DEFINED INPUT_FILE)
    file(WRITE "${INPUT_FILE}" "${INPUT_TEXT}")
endif()
string(REPLACE "|" ";" argument_list "${ARGUMENTS}")
execute_process(COMMAND "${PROGRAM}" ${argument_list}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit status ${status}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
    message(FATAL_ERROR "stdout does not match '${STDOUT}':\n${out}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
    message(FATAL_ERROR "stderr does not match '${STDERR}':\n${err}")
endif()
