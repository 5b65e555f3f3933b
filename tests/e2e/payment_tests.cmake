# Payments end to end: the gateway, terminal-sim, host-sim and the cipher
# library as real processes, over pty pairs and sockets on 127.0.0.1.
# Included from this folder's CMakeLists.txt.
if(TARGET host-sim AND TARGET terminal-sim AND TARGET tavorline-web AND TARGET tavorline)
    add_library(e2e_support STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e_support.cpp)
    target_include_directories(e2e_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_compile_definitions(e2e_support PRIVATE
        TAVORLINE_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    target_link_libraries(e2e_support PUBLIC test_pty test_child_process GTest::gtest)

    add_executable(payment_e2e_tests
        ${CMAKE_CURRENT_LIST_DIR}/payment_e2e.cpp
        ${CMAKE_CURRENT_LIST_DIR}/payment_simulators_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/payment_modes_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/payment_faults_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/payment_tools_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/web_screen_test.cpp
    )
    target_link_libraries(payment_e2e_tests PRIVATE
        e2e_support tavorline_sim GTest::gmock GTest::gtest_main)
    add_dependencies(payment_e2e_tests tavorline VornLib terminal-sim host-sim tavorline-web)
    gtest_discover_tests(payment_e2e_tests
        TEST_PREFIX "e2e."
        DISCOVERY_TIMEOUT 30
        PROPERTIES TIMEOUT 120)
endif()
