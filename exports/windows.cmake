# KSND32.dll and its import library KSND32.lib: the core, exported by name and ordinal through
# ksnd32.def (undecorated names: --kill-at), with a static runtime. It imports the audio
# library, WAIL32.dll.
if(NOT TARGET wail32)
  message(STATUS "KSND32.dll needs WAIL32.dll: build the audio library (KSND_AUDIO)")
  return()
endif()

add_library(ksnd32 SHARED module_entry.cpp ksnd32.def)
target_link_libraries(ksnd32 PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,ksnd32_core>"
                      wail32)
target_link_options(ksnd32 PRIVATE -Wl,--kill-at -Wl,--no-undefined)
set_target_properties(ksnd32 PROPERTIES OUTPUT_NAME KSND32 PREFIX "" IMPORT_PREFIX ""
                      IMPORT_SUFFIX ".lib")
target_include_directories(ksnd32 PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
