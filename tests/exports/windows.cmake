# Windows: the checks of KSND32.dll's and WAIL32.dll's export and import tables, and the C host
# that loads KSND32.dll at run time.
if(NOT TARGET ksnd32)
  return()
endif()

# KSND32.dll exports exactly the list and imports only system DLLs and WAIL32.dll; WAIL32.dll
# exports exactly its own list and imports only system DLLs. The checker itself is seen to
# refuse another DLL's names, two swapped ordinals and a DLL it was not allowed.
# ksnd_pe_test(NAME DLL DEF ALLOWED REQUIRED [PASS_REGEX]): with PASS_REGEX, the refusal expected.
function(ksnd_pe_test name dll def allowed required)
  string(REPLACE ";" "\\;" allowed "${allowed}")
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DDLL=${dll} -DDEF=${def} -DALLOWED=${allowed}
                   -DREQUIRED=${required} -P ${CMAKE_CURRENT_SOURCE_DIR}/check_pe_tables.cmake)
  if(ARGN)
    set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${ARGN}")
  endif()
endfunction()

set(def ${PROJECT_SOURCE_DIR}/exports/ksnd32.def)
set(system_dlls KERNEL32.dll USER32.dll msvcrt.dll)
ksnd_pe_test(exports.pe_tables_match_the_list $<TARGET_FILE:ksnd32> ${def}
             "${system_dlls};WAIL32.dll" WAIL32.dll)
ksnd_pe_test(exports.wail32_pe_tables_match_its_list $<TARGET_FILE:wail32>
             ${PROJECT_SOURCE_DIR}/audio/WAIL32.def "KERNEL32.dll;msvcrt.dll" "")

ksnd_pe_test(exports.pe_check_refuses_other_names $<TARGET_FILE:wail32> ${def}
             "${system_dlls};WAIL32.dll" "" "not in the list: AIL_")

file(READ ${def} swapped)
string(REGEX REPLACE "KSOUNDInit( +)@1\n" "KSOUNDInit\\1@2\n" swapped "${swapped}")
string(REGEX REPLACE "KSOUNDClose( +)@2\n" "KSOUNDClose\\1@1\n" swapped "${swapped}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/swapped.def "${swapped}")
ksnd_pe_test(exports.pe_check_refuses_swapped_ordinals $<TARGET_FILE:ksnd32>
             ${CMAKE_CURRENT_BINARY_DIR}/swapped.def "${system_dlls};WAIL32.dll" WAIL32.dll
             "missing or at another ordinal: KSOUNDInit@2")

ksnd_pe_test(exports.pe_check_refuses_other_imports $<TARGET_FILE:ksnd32> ${def}
             "KERNEL32.dll;msvcrt.dll;WAIL32.dll" WAIL32.dll
             "imports from user32.dll, which is not allowed")

# WAIL32.def lists every function of wail32.h and the three device queries, nothing else; the
# comparison is seen to refuse a list that misses one.
function(ksnd_def_test name def)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DDEF=${def} -DHEADER=${PROJECT_SOURCE_DIR}/include/wail32.h
                   -DAPI=WAIL_API -P ${CMAKE_CURRENT_SOURCE_DIR}/check_def_names.cmake)
  if(ARGN)
    set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${ARGN}")
  endif()
endfunction()
ksnd_def_test(exports.wail32_list_is_the_headers_functions ${PROJECT_SOURCE_DIR}/audio/WAIL32.def)
file(READ ${PROJECT_SOURCE_DIR}/audio/WAIL32.def short_of_one)
string(REGEX REPLACE "\n +AIL_output_delay +@[0-9]+" "" short_of_one "${short_of_one}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/short_of_one.def "${short_of_one}")
ksnd_def_test(exports.def_check_refuses_a_missing_function
              ${CMAKE_CURRENT_BINARY_DIR}/short_of_one.def "declared but not listed: AIL_output_delay")

# The C host; it passes on its closing line, whatever its exit status.
add_executable(windows_host windows_host.c)
set_target_properties(windows_host PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                      C_EXTENSIONS OFF)
target_compile_options(windows_host PRIVATE -Wall -Wextra -Wpedantic
                       $<$<BOOL:${KSND_WERROR}>:-Werror>)
target_link_libraries(windows_host PRIVATE ksnd32)
add_test(NAME exports.windows_host COMMAND windows_host)
set_tests_properties(exports.windows_host PROPERTIES
                     PASS_REGULAR_EXPRESSION "windows_host: [0-9]+ ok, 0 failed"
                     FAIL_REGULAR_EXPRESSION "(^|\n)FAIL ")

# A host that unloads KSND32.dll while a sound plays, without closing it; a hang is a timeout.
add_executable(unload_host unload_host.c)
set_target_properties(unload_host PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                      C_EXTENSIONS OFF)
target_compile_options(unload_host PRIVATE -Wall -Wextra -Wpedantic
                       $<$<BOOL:${KSND_WERROR}>:-Werror>)
target_include_directories(unload_host PRIVATE ${PROJECT_SOURCE_DIR}/include)
add_dependencies(unload_host ksnd32)
add_test(NAME exports.unload_while_playing COMMAND unload_host)
set_tests_properties(exports.unload_while_playing PROPERTIES TIMEOUT 30
                     PASS_REGULAR_EXPRESSION "unload_host: 4 ok, 0 failed"
                     FAIL_REGULAR_EXPRESSION "(^|\n)FAIL ")
