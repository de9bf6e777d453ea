# ksfx.exe under wine: compile, info, render and tune -o on files the script makes.
add_test(NAME ksfx_windows
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/windows_ksfx.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:ksfx>)
set_tests_properties(ksfx_windows PROPERTIES LABELS tools PASS_REGULAR_EXPRESSION
                     "windows_ksfx: passed" FAIL_REGULAR_EXPRESSION "(^|\n)FAIL ")
