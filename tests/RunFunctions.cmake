# Runs every test function of a QtTest program except those named in EXCEPT (separated by
# commas), which ctest runs as entries of their own beside this one (brindlecot_test's
# APART). A name the program does not have is an error, so that a renamed function cannot
# silently drop out of both.
# EMULATOR, when given, runs the program (Wine for a cross build for Windows). ENTRY, when
# given, is the test a folder's program runs (its first argument).
#   cmake -DPROGRAM=path [-DENTRY=test] -DEXCEPT=a,b [-DEMULATOR=command] -P RunFunctions.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ENTRY} -functions OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} -functions ended with ${status}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z_0-9]*\\(\\)" functions "${listed}")
list(TRANSFORM functions REPLACE "\\(\\)$" "")
string(REPLACE "," ";" except "${EXCEPT}")
foreach(name IN LISTS except)
    if(NOT name IN_LIST functions)
        message(FATAL_ERROR "${PROGRAM} has no test function ${name}")
    endif()
    list(REMOVE_ITEM functions ${name})
endforeach()
# With no function named, QtTest would run them all, the ones apart included.
if(NOT functions)
    message(STATUS "${PROGRAM}: every test function runs apart")
    return()
endif()
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ENTRY} ${functions} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with ${status}")
endif()
