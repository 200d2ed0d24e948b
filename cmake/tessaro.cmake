# tessaro_add_test(NAME SOURCES file... LIBS lib... [LABELS label...] [ENV VAR=value...] [COST seconds])
# One GoogleTest executable registered with CTest. Tests run from the build
# directory; TESSARO_SOURCE_DIR and TESSARO_CORPUS_DIR tell them where the
# repository and the shared third-party files are.
# Labels: every test has unit unless it is labelled gui (an X server, a
# player driven as a person would), wine (a Windows program under Wine) or
# slow (the real show played or captured). COST is the test's rough time in a
# sanitizer build: CTest starts the costly ones first, so that two cores
# finish together rather than one waiting on the last long test.
set(TESSARO_CORPUS_DIR "${CMAKE_SOURCE_DIR}/../shared/corpus" CACHE PATH "Third-party test files")

function(tessaro_add_test name)
    cmake_parse_arguments(T "" "COST" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        TESSARO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        TESSARO_CORPUS_DIR="${TESSARO_CORPUS_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    # The sanitizer build's leak report leaves out what the system libraries keep.
    list(APPEND T_ENV "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    if(CMAKE_CROSSCOMPILING)
        # Under Wine, with lumora.dll from the build's top folder, and quiet,
        # in the prefix of the programs without windows (tests/win): they run
        # side by side, sharing its Wine server. The GUI tests have a prefix
        # of their own, whose server they restart for each X server.
        list(APPEND T_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-cli" "WINEPATH=Z:${CMAKE_BINARY_DIR}"
             "WINEDEBUG=-all")
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_cli_prefix)
    endif()
    set_tests_properties(${name} PROPERTIES
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        TIMEOUT 600
        ENVIRONMENT "${T_ENV}")
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    if(CMAKE_CROSSCOMPILING)
        list(APPEND T_LABELS wine)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    if(T_COST)
        set_tests_properties(${name} PROPERTIES COST ${T_COST})
    endif()
endfunction()
