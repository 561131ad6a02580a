# Helpers that keep the core free of Qt and SDL.
#
# pagemoor_core_library(name SOURCES...)  - logic; may link only other core libraries.
#   Its sources and headers are scanned at build time: an include of a Qt or SDL
#   header makes the build fail.
# pagemoor_ui_library(name SOURCES...)    - windows, widgets and the Qt platform.

set_property(GLOBAL PROPERTY PAGEMOOR_CORE_TARGETS "")
set(PAGEMOOR_CHECK_INCLUDES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckCoreIncludes.cmake)

function(pagemoor_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS;LINKS" ${ARGN})
  set(all ${ARG_SOURCES} ${ARG_HEADERS})
  set(abs "")
  foreach(f IN LISTS all)
    get_filename_component(p ${f} ABSOLUTE)
    list(APPEND abs ${p})
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.core-includes.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DFILES=${abs}" -DSTAMP=${stamp} -P ${PAGEMOOR_CHECK_INCLUDES_SCRIPT}
    DEPENDS ${abs} ${PAGEMOOR_CHECK_INCLUDES_SCRIPT}
    COMMENT "Checking that ${name} includes no Qt or SDL header"
    VERBATIM)
  add_library(${name} STATIC ${ARG_SOURCES} ${ARG_HEADERS} ${stamp})
  set_source_files_properties(${stamp} PROPERTIES GENERATED TRUE HEADER_FILE_ONLY TRUE)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARG_LINKS)
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  endif()
  set_property(GLOBAL APPEND PROPERTY PAGEMOOR_CORE_TARGETS ${name})
endfunction()

function(pagemoor_ui_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES} ${ARG_HEADERS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# Called once at the end of the top-level list: a core library that links Qt or
# SDL, directly or through another library, stops the configuration.
function(pagemoor_check_core_links)
  get_property(targets GLOBAL PROPERTY PAGEMOOR_CORE_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT libs)
      continue()
    endif()
    foreach(l IN LISTS libs)
      if(l MATCHES "Qt|SDL")
        message(FATAL_ERROR "Core library ${t} links ${l}; core code must not use Qt or SDL")
      endif()
      if(TARGET ${l})
        get_target_property(sub ${l} LINK_LIBRARIES)
        foreach(s IN LISTS sub)
          if(s MATCHES "Qt|SDL")
            message(FATAL_ERROR "Core library ${t} links ${l}, which links ${s}")
          endif()
        endforeach()
      endif()
    endforeach()
  endforeach()
endfunction()
