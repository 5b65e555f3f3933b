# Fails unless LIBRARY defines exactly the exports of vornlib.h and vornlib_host.h.
# Given NM, reads an ELF library's dynamic symbols; given OBJDUMP, a DLL's
# export table.
set(expected
    DecDES3 EncDES3 GetRasDecData GetRasEncData GetRsa3DesKey SEED_Vorn
    VornHost_FreeRsaKey VornHost_NewRsaKey VornHost_Open VornHost_PublicKeyDer
    VornHost_Seal VornHost_UnwrapSessionKey)

if(OBJDUMP)
    set(lister ${OBJDUMP} -p)
else()
    set(lister ${NM} -D --defined-only)
endif()
execute_process(COMMAND ${lister} ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${lister} failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "[^\n]*\n" lines "${listing}")
set(actual)
set(in_name_table FALSE)
foreach(line IN LISTS lines)
    if(OBJDUMP)
        # "[Ordinal/Name Pointer] Table", then "\t[   0] Name" up to a blank line.
        if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(in_name_table TRUE)
        elseif(in_name_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ \t\n]+)")
            list(APPEND actual ${CMAKE_MATCH_1})
        elseif(in_name_table AND line MATCHES "^[ \t]*\n$")
            set(in_name_table FALSE)
        endif()
    # "address type name"; the version node the linker adds is not an export.
    elseif(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ @\n]+)" AND NOT CMAKE_MATCH_1 STREQUAL "A")
        list(APPEND actual ${CMAKE_MATCH_2})
    endif()
endforeach()
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "exports differ\n  expected: ${expected}\n  actual:   ${actual}")
endif()
