# Build helpers shared by every layer.

# Sanitizer and fuzzer instrumentation applies to the whole tree, so that the
# libraries under test are instrumented too.
if(KQ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KQ_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KQ_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# -Wall -Wextra on our own targets only (Qt and system headers are not ours).
function(kq_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KQ_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kq_add_gtest(<name> LABELS <label>... SOURCES <file>... LIBS <lib>... [ENV <VAR=value>...])
# One GoogleTest executable; each test case becomes a CTest test with the labels.
function(kq_add_gtest name)
  if(NOT KQ_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LABELS;SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kq_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(props LABELS "${ARG_LABELS}")
  if(ARG_ENV)
    list(APPEND props ENVIRONMENT "${ARG_ENV}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props} TIMEOUT 300)
endfunction()

# kq_add_fuzzer(<name> SOURCES <file>... LIBS <lib>...)
# A libFuzzer target, built only with KQ_FUZZ; scripts/test runs every one of them
# with the seeds of tests/fuzz-seeds/<name>/ when that folder exists.
function(kq_add_fuzzer name)
  if(NOT KQ_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kq_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()

# kq_add_qttest(<name> [LABELS <label>...] SOURCES <file>... LIBS <lib>... [ENV <VAR=value>...])
# One QtTest executable, registered as one CTest test (label gui unless told).
# It runs on the offscreen platform, and every run gets a fresh settings folder
# (XDG_CONFIG_HOME, also XDG_RUNTIME_DIR) made by mktemp and removed afterwards,
# so parallel tests never share settings and never touch the user's own.
function(kq_add_qttest name)
  if(NOT KQ_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LABELS;SOURCES;LIBS;ENV" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS gui)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  kq_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  set(run [=[d=$(mktemp -d) || exit 1; XDG_CONFIG_HOME="$d" XDG_RUNTIME_DIR="$d" "$0" "$@"; rc=$?; rm -rf "$d"; exit $rc]=])
  add_test(NAME ${name} COMMAND sh -c "${run}" $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    LABELS "${ARG_LABELS}"
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}")
endfunction()
