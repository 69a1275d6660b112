# What keeps a build from scratch short: precompiled headers where many files
# include the same large ones, and test code built for a quick compile.

set(TAVRIN_QT_WIDGETS_PCH_HEADERS
  <QApplication> <QDialog> <QHBoxLayout> <QHeaderView> <QKeyEvent> <QLabel> <QLineEdit> <QPainter>
  <QPushButton> <QString> <QTimer> <QTreeWidget> <QVBoxLayout> <QWidget>
  <cstdint> <functional> <memory> <optional> <string> <vector>)
set(TAVRIN_TEST_PCH_HEADERS
  <gtest/gtest.h>
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstdint> <cstdio> <cstdlib>
  <cstring> <deque> <filesystem> <functional> <map> <memory> <mutex> <optional> <random> <string>
  <thread> <vector>)
set(TAVRIN_TEST_QT_PCH_HEADERS
  <QApplication> <QDir> <QLabel> <QLineEdit> <QMenu> <QPushButton> <QSettings> <QSignalSpy>
  <QTest> <QTimer> <QTreeWidget> <QWidget>)
# The test code's optimisation: enough for the model and sweep tests to run
# as fast as at -O2, at two fifths of the compile time. Line tables only
# (-g1): the sanitizers' reports and a backtrace keep their files and lines,
# and a test file compiles in three quarters of the time that full debug
# information takes (rebuild with TAVRIN_TEST_OPTIMIZE=-Og;-pthread;-g to
# step through a test's variables). -pthread for all of it, as the sound
# libraries' own flags bring it to some: the programs share one precompiled
# header, which clang refuses where the macros differ.
set(TAVRIN_TEST_OPTIMIZE -Og -pthread -g1 CACHE STRING "Code generation of the test code")
# Test files are many and small beside what each includes (GoogleTest, gmock,
# the rigs): compiled a few to a translation unit, a build from scratch reads
# those headers a few times instead of once per file. Off, an edit to one test
# file recompiles that file alone.
option(TAVRIN_UNITY_TESTS "Compile the test programs' files in batches" ON)
set(TAVRIN_UNITY_TEST_BATCH 8 CACHE STRING "Test files compiled together in one batch")

# tavrin_precompile(target HEADER...): a precompiled header of its own for a
# target with enough files to repay building one (reading Qt's widget headers
# is half of a dialog's compile).
function(tavrin_precompile target)
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(LENGTH sources count)
  if(count GREATER 3)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# The precompiled header the plain test programs share, built once per build
# folder by an object library of its own, with the flags they have.
function(tavrin_add_test_pch)
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/test_pch.cpp
       CONTENT "// Builds the test programs' precompiled header.\n")
  add_library(tavrin_test_pch OBJECT ${CMAKE_CURRENT_BINARY_DIR}/test_pch.cpp)
  target_link_libraries(tavrin_test_pch PRIVATE GTest::gtest)
  tavrin_warnings(tavrin_test_pch)
  target_compile_options(tavrin_test_pch PRIVATE ${TAVRIN_TEST_OPTIMIZE})
  target_precompile_headers(tavrin_test_pch PRIVATE ${TAVRIN_TEST_PCH_HEADERS})
endfunction()

# tavrin_test_program(target [QT]): test code (a program or a library of test
# doubles) is built at TAVRIN_TEST_OPTIMIZE; the code under test keeps the
# build's optimisation. A plain one shares the test header above, which GCC
# uses only where the code-generation flags and the macros the headers look
# at are those of the header's own target; elsewhere it reads the headers as
# usual, silently (so flags a new library brings cost time, not the build).
# One that drives Qt's widgets (QT, -fPIC) gets a header of its own with Qt's.
# Its files are compiled in batches unless TAVRIN_UNITY_TESTS is off.
function(tavrin_test_program target)
  cmake_parse_arguments(ARG "QT" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE ${TAVRIN_TEST_OPTIMIZE})
  if(TAVRIN_UNITY_TESTS)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${TAVRIN_UNITY_TEST_BATCH})
  endif()
  if(ARG_QT)
    tavrin_precompile(${target} ${TAVRIN_TEST_PCH_HEADERS} ${TAVRIN_TEST_QT_PCH_HEADERS})
  elseif(TARGET tavrin_test_pch)
    target_precompile_headers(${target} REUSE_FROM tavrin_test_pch)
    set_target_properties(${target} PROPERTIES PCH_WARN_INVALID OFF)
  endif()
endfunction()
