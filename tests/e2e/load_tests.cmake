# Faults and load with real processes: a gateway that loses its host, its
# serial line, its log or its configuration file, noise on both lines, a
# short run of back-to-back payments (scripts/soak.sh), a short chaos soak
# (scripts/chaos_soak.py), and no process left behind by the scripts
# (tests/scripts). Included from this folder's
# CMakeLists.txt after payment_tests.cmake, whose e2e_support it uses.
if(TARGET e2e_support)
    include(GoogleTest)
    find_package(OpenSSL 3.0 REQUIRED COMPONENTS SSL Crypto)

    add_executable(fault_e2e_tests
        ${CMAKE_CURRENT_LIST_DIR}/payment_e2e.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fault_support.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fault_host_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fault_serial_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fault_files_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/fault_noise_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/pinned_host_test.cpp
        # The noisy host is a host-sim listener driven by the test.
        ${CMAKE_SOURCE_DIR}/tools/host_sim/host_link.cpp
    )
    target_link_libraries(fault_e2e_tests PRIVATE
        e2e_support tavorline_sim OpenSSL::SSL OpenSSL::Crypto GTest::gmock GTest::gtest_main)
    add_dependencies(fault_e2e_tests tavorline VornLib terminal-sim host-sim)
    # A serial line lost mid-call waits for the call watchdog (30 s).
    gtest_discover_tests(fault_e2e_tests
        TEST_PREFIX "fault."
        DISCOVERY_TIMEOUT 30
        PROPERTIES TIMEOUT 180)

    # Fifty payments through one gateway; `scripts/soak.sh 2000` is the day.
    add_test(NAME load.soak_50_payments
        COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/soak.sh 50)
    set_tests_properties(load.soak_50_payments PROPERTIES
        ENVIRONMENT "BUILD_DIR=${CMAKE_BINARY_DIR}"
        TIMEOUT 600)

    # Every kind of fault once, on two gateways side by side; the long runs
    # are in docs/reliability.md.
    add_test(NAME load.chaos_every_fault_once
        COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/chaos_soak.py --linux-bin ${CMAKE_BINARY_DIR}/bin
            --gateways 2 --payments 16 --fault-share 1)
    set_tests_properties(load.chaos_every_fault_once PROPERTIES TIMEOUT 300)

    # No program the demo or the soak starts outlives them, however they end;
    # host-sim ends by itself when nobody calls.
    add_test(NAME load.no_leftover_processes
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/no_leftover_processes.sh)
    add_test(NAME load.host_sim_idle_exit
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/host_sim_idle_exit.sh)
    set_tests_properties(load.no_leftover_processes load.host_sim_idle_exit PROPERTIES
        ENVIRONMENT "BUILD_DIR=${CMAKE_BINARY_DIR}"
        TIMEOUT 180)
endif()
