# How ctest shares the cores. Most tests keep a core busy while they run: each
# takes one `cpu` slot of tests/ctest-resources.json, which the test presets
# give ctest, so no more of them run at once than that file has slots. A few
# mostly wait on the clock (recording in real time, a sound server's pace):
# labelled `clock`, they take no slot and run beside the busy ones, up to the
# presets' `jobs`. A test added with add_test says which it is itself
# (RESOURCE_GROUPS cpu:1, or the label). Plain `ctest` without a resource file
# ignores the slots.

# tavrin_discover_tests(target LABELS label... [ENVIRONMENT var=value...]
#                       [CLOCK gtest-filter]): registers the target's tests,
# those CLOCK selects as clock-bound, the others each holding a slot.
# The properties are set from a file of our own rather than through
# gtest_discover_tests(PROPERTIES), which flattens lists: a second label or
# variable would become a property name.
function(tavrin_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "CLOCK" "LABELS;ENVIRONMENT")
  set(env "")
  if(ARG_ENVIRONMENT)
    set(env " ENVIRONMENT [==[${ARG_ENVIRONMENT}]==]")
  endif()
  set(busy_filter "")
  set(script "")
  if(ARG_CLOCK)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER "${ARG_CLOCK}" TEST_LIST ${target}_clock_tests)
    set(busy_filter TEST_FILTER "-${ARG_CLOCK}")
    string(APPEND script "if(${target}_clock_tests)\n"
      "  set_tests_properties(\${${target}_clock_tests} PROPERTIES LABELS [==[${ARG_LABELS};clock]==]${env})\n"
      "endif()\n")
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES ${busy_filter} TEST_LIST ${target}_busy_tests)
  string(APPEND script "if(${target}_busy_tests)\n"
    "  set_tests_properties(\${${target}_busy_tests} PROPERTIES LABELS [==[${ARG_LABELS}]==]${env}"
    " RESOURCE_GROUPS cpu:1)\n"
    "endif()\n")
  set(file "${CMAKE_CURRENT_BINARY_DIR}/${target}_slots.cmake")
  file(WRITE "${file}" "${script}")
  # Read after the discovered tests, which set the lists.
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${file}")
endfunction()
