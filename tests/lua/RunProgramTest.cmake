# Runs velmorand-lua with arguments and the Lua source on standard input, then checks the exit
# status and a text in standard error. A crash gives no number for a status and fails too.
# Usage: cmake -DPROGRAM=... "-DARGUMENTS=a|b" -DSOURCE=... -DEXPECT_EXIT=N
#              -DEXPECT_STDERR=... -P RunProgramTest.cmake
# (ARGUMENTS are separated by '|': a ';' would split the option in ctest's command line.)
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
string(MD5 name "${ARGUMENTS}${SOURCE}")
set(script ${CMAKE_CURRENT_BINARY_DIR}/program-test-${name}.lua)
file(WRITE ${script} "${SOURCE}\n")
execute_process(COMMAND ${PROGRAM} ${arguments} - INPUT_FILE ${script}
    RESULT_VARIABLE status OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
file(REMOVE ${script})
message("${stdout}\n${stderr}")
if(NOT status STREQUAL EXPECT_EXIT)
    message(FATAL_ERROR "exit status ${status}, expected ${EXPECT_EXIT}")
endif()
string(FIND "${stderr}" "${EXPECT_STDERR}" found)
if(found EQUAL -1)
    message(FATAL_ERROR "standard error lacks: ${EXPECT_STDERR}")
endif()
