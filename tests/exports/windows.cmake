# Windows: a stand-in WAIL32.dll made from the recording fake (while the audio library has no
# Windows build), the check of KSND32.dll's export and import tables, and the C host that loads
# KSND32.dll at run time.
if(NOT TARGET wail32)
  add_library(wail32_standin SHARED ${PROJECT_SOURCE_DIR}/tests/support/fake_wail.cpp)
  target_include_directories(wail32_standin PRIVATE ${PROJECT_SOURCE_DIR}/include
                                                    ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(wail32_standin PRIVATE WAIL_BUILDING)
  target_link_libraries(wail32_standin PRIVATE ksnd_warnings Threads::Threads)
  set_target_properties(wail32_standin PROPERTIES OUTPUT_NAME WAIL32 PREFIX "" IMPORT_PREFIX ""
                        IMPORT_SUFFIX ".lib")
endif()
if(NOT TARGET ksnd32)
  return()
endif()

# KSND32.dll exports exactly the list and imports only system DLLs and WAIL32.dll. The checker
# itself is seen to refuse another DLL's names, two swapped ordinals and a DLL it was not allowed.
# ksnd_pe_test(NAME DLL DEF ALLOWED [PASS_REGEX]): with PASS_REGEX, the refusal expected.
function(ksnd_pe_test name dll def allowed)
  string(REPLACE ";" "\\;" allowed "${allowed}")
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DDLL=${dll} -DDEF=${def} -DALLOWED=${allowed}
                   -DREQUIRED=WAIL32.dll -P ${CMAKE_CURRENT_SOURCE_DIR}/check_pe_tables.cmake)
  if(ARGN)
    set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${ARGN}")
  endif()
endfunction()

set(def ${PROJECT_SOURCE_DIR}/exports/ksnd32.def)
set(system_dlls KERNEL32.dll USER32.dll msvcrt.dll)
ksnd_pe_test(exports.pe_tables_match_the_list $<TARGET_FILE:ksnd32> ${def}
             "${system_dlls};WAIL32.dll")

set(wail $<IF:$<TARGET_EXISTS:wail32>,wail32,wail32_standin>)
ksnd_pe_test(exports.pe_check_refuses_other_names $<TARGET_FILE:${wail}> ${def}
             "${system_dlls};WAIL32.dll" "not in the list: AIL_")

file(READ ${def} swapped)
string(REGEX REPLACE "KSOUNDInit( +)@1\n" "KSOUNDInit\\1@2\n" swapped "${swapped}")
string(REGEX REPLACE "KSOUNDClose( +)@2\n" "KSOUNDClose\\1@1\n" swapped "${swapped}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/swapped.def "${swapped}")
ksnd_pe_test(exports.pe_check_refuses_swapped_ordinals $<TARGET_FILE:ksnd32>
             ${CMAKE_CURRENT_BINARY_DIR}/swapped.def "${system_dlls};WAIL32.dll"
             "missing or at another ordinal: KSOUNDInit@2")

ksnd_pe_test(exports.pe_check_refuses_other_imports $<TARGET_FILE:ksnd32> ${def}
             "KERNEL32.dll;msvcrt.dll;WAIL32.dll" "imports from user32.dll, which is not allowed")

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
