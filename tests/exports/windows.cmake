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
