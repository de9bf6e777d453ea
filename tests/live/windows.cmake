# The live leg on Windows: the waveOut output under wine, into a PulseAudio null sink.
find_program(KSND_PAREC parec)
if(NOT KSND_PAREC OR NOT TARGET wail32)
  return()
endif()
add_executable(waveout_live waveout_live.c)
target_link_libraries(waveout_live PRIVATE wail32)
target_compile_options(waveout_live PRIVATE -Wall -Wextra $<$<BOOL:${KSND_WERROR}>:-Werror>)
add_test(NAME waveout_live
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/run_live.sh sh
                 ${CMAKE_CURRENT_SOURCE_DIR}/waveout_live.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:waveout_live>)
set_tests_properties(waveout_live PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE LABELS live
                     TIMEOUT 120 FAIL_REGULAR_EXPRESSION "(^|\n)FAIL ")
