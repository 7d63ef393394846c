# Runs one test program for ctest and passes only when the program exits with 0
# and its output holds GoogleTest's closing verdict. A program that ends
# half-way prints no verdict, whatever its exit status says: under Wine a crash
# has ended a test program with 0.
#   cmake -DPROGRAM=<program> [-DEMULATOR=<command>] -DTIME_LIMIT=<seconds> -P test_verdict.cmake
# The time limit is kept here rather than left to ctest, which would end this
# script and leave the program running.
execute_process(COMMAND ${EMULATOR} ${PROGRAM}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE
  TIMEOUT ${TIME_LIMIT})
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} ended with ${status}")
endif()
if(NOT output MATCHES "\\[==========\\] [0-9]+ tests? from [0-9]+ test suites? ran\\.[^\n]*\n\\[  PASSED  \\] [0-9]+ tests?\\.")
  message(FATAL_ERROR "${PROGRAM} exited with 0 but printed no closing verdict: it ended before its tests did")
endif()
