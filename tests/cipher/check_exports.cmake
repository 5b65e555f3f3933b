# Fails unless LIBRARY defines exactly the exports of vornlib.h and vornlib_host.h.
set(expected
    DecDES3 EncDES3 GetRasDecData GetRasEncData GetRsa3DesKey SEED_Vorn
    VornHost_FreeRsaKey VornHost_NewRsaKey VornHost_Open VornHost_PublicKeyDer
    VornHost_Seal VornHost_UnwrapSessionKey)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(actual)
foreach(line IN LISTS lines)
    # "address type name"; the version node the linker adds is not an export.
    if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ @]+)" AND NOT CMAKE_MATCH_1 STREQUAL "A")
        list(APPEND actual ${CMAKE_MATCH_2})
    endif()
endforeach()
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "exports differ\n  expected: ${expected}\n  actual:   ${actual}")
endif()
