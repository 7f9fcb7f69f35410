# Included by the main test build. When TALVORA_FUZZ_BUILD_DIR names a built
# fuzz tree (scripts/test.sh passes build/fuzz), each fuzz target runs for a few
# seconds from the committed seeds, so that a regression that crashes one of
# them fails the suite. New inputs go to the build tree, never to fuzz/corpus.
set(TALVORA_FUZZ_BUILD_DIR "" CACHE PATH "Build tree of the fuzz targets (-DTALVORA_BUILD_FUZZERS=ON)")
set(TALVORA_FUZZ_SECONDS 5 CACHE STRING "Seconds each fuzz target runs under ctest")

if(TALVORA_FUZZ_BUILD_DIR)
    set(_fuzzWorkDir ${CMAKE_BINARY_DIR}/fuzz-work)
    foreach(_name base64_decode aes_decrypt parse_ss)
        file(MAKE_DIRECTORY ${_fuzzWorkDir}/${_name})
        add_test(NAME fuzz_${_name}
            COMMAND ${TALVORA_FUZZ_BUILD_DIR}/fuzz/fuzz_${_name}
                    -max_total_time=${TALVORA_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=1024
                    -artifact_prefix=${_fuzzWorkDir}/
                    ${_fuzzWorkDir}/${_name} ${CMAKE_CURRENT_LIST_DIR}/corpus/${_name}
            WORKING_DIRECTORY ${_fuzzWorkDir})
        set_tests_properties(fuzz_${_name} PROPERTIES LABELS fuzz TIMEOUT 120)
    endforeach()
endif()
