# WAIL32.dll and its import library WAIL32.lib: exported by name and ordinal through
# WAIL32.def (undecorated names: --kill-at), with a static runtime; winmm is looked up at run
# time (winmm.cpp), so the DLL's own waveOutGetNumDevs and kin never meet winmm's.
add_library(wail32 SHARED ${wail_sources} ${CMAKE_CURRENT_SOURCE_DIR}/WAIL32.def)
target_include_directories(wail32 PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
                                  PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(wail32 PRIVATE ksnd_warnings wail_kernels
                      "$<LINK_LIBRARY:WHOLE_ARCHIVE,wail_music>" Threads::Threads)
target_link_options(wail32 PRIVATE -Wl,--kill-at -Wl,--no-undefined)
set_target_properties(wail32 PROPERTIES OUTPUT_NAME WAIL32 PREFIX "" IMPORT_PREFIX ""
                      IMPORT_SUFFIX ".lib")
