# Read by CTest when it starts (a test include file): asks a GoogleTest program
# under Wine for its tests (--gtest_list_tests) and adds each as a test of its
# own, run in a process of its own. A TEST added to the program's sources runs
# without an edit to any CMake file.
#
# Set by the generated include file:
#   EACH_TEST_EMULATOR    the emulator's command (a list), empty for none
#   EACH_TEST_PROGRAM     the test program
#   EACH_TEST_PREFIX      what each CTest name starts with ("<prefix>.<Suite>.<Test>")
#   EACH_TEST_ARGS        further arguments for every run
#   EACH_TEST_PROPERTIES  test properties for every test (name value ...)
#   EACH_TEST_DIRECTORY   the working folder of the runs and of the listing
#   EACH_TEST_CMAKE       cmake, for the failing test of a program that lists nothing
#
# The listing writes to files, never to pipes: the first Wine program in a
# prefix starts Wine's services, which would inherit a pipe and keep it open.
# Windows programs end their lines with CR LF; the CRs are dropped.

set(listing "${EACH_TEST_DIRECTORY}/${EACH_TEST_PREFIX}.list.txt")
set(errors "${EACH_TEST_DIRECTORY}/${EACH_TEST_PREFIX}.list-errors.txt")
execute_process(
  COMMAND ${EACH_TEST_EMULATOR} "${EACH_TEST_PROGRAM}" --gtest_list_tests
  WORKING_DIRECTORY "${EACH_TEST_DIRECTORY}"
  INPUT_FILE /dev/null
  OUTPUT_FILE "${listing}"
  ERROR_FILE "${errors}"
  RESULT_VARIABLE result
  TIMEOUT 120)

set(names "")
if(result EQUAL 0 AND EXISTS "${listing}")
  file(STRINGS "${listing}" lines)
  set(suite "")
  foreach(line IN LISTS lines)
    string(REPLACE "\r" "" line "${line}")
    # "  # TypeParam = ..." and "  # GetParam() = ..." comments are not part of a name.
    string(REGEX REPLACE " +#.*$" "" line "${line}")
    if(line MATCHES "^  +([^ ]+)$")
      if(NOT suite STREQUAL "")
        list(APPEND names "${suite}.${CMAKE_MATCH_1}")
      endif()
    elseif(line MATCHES "^([^ ]+)\\.$")
      set(suite "${CMAKE_MATCH_1}")
    else()
      # Anything else (a banner, an empty line) ends the suite.
      set(suite "")
    endif()
  endforeach()
endif()

if(names STREQUAL "")
  # A program that cannot list its tests fails loudly instead of running nothing.
  set(error_text "")
  if(EXISTS "${errors}")
    file(READ "${errors}" error_text)
  endif()
  add_test("${EACH_TEST_PREFIX}.NOT_LISTED" "${EACH_TEST_CMAKE}" -E echo
           "${EACH_TEST_PROGRAM} --gtest_list_tests listed no test (exit ${result}): ${error_text}")
  set_tests_properties("${EACH_TEST_PREFIX}.NOT_LISTED" PROPERTIES FAIL_REGULAR_EXPRESSION "listed no test"
                       ${EACH_TEST_PROPERTIES})
  return()
endif()

foreach(name IN LISTS names)
  set(test "${EACH_TEST_PREFIX}.${name}")
  add_test("${test}" ${EACH_TEST_EMULATOR} "${EACH_TEST_PROGRAM}" "--gtest_filter=${name}" ${EACH_TEST_ARGS})
  set_tests_properties("${test}" PROPERTIES WORKING_DIRECTORY "${EACH_TEST_DIRECTORY}" ${EACH_TEST_PROPERTIES})
  if(name MATCHES "(^|\\.)DISABLED_")
    set_tests_properties("${test}" PROPERTIES DISABLED TRUE)
  endif()
endforeach()
