# SPDX-License-Identifier: GPL-3.0-or-later
# plumo_add_test_dir(PREFIX LIBS ...): one test executable per *_test.cpp in the calling folder.
# Files ending in _sim_test.cpp get the label sim, _gui_test.cpp gui, _e2e_test.cpp e2e, others unit.
function(plumo_add_test_dir prefix)
  cmake_parse_arguments(D "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(source ${tests})
    get_filename_component(stem ${source} NAME_WE)
    set(label unit)
    if(stem MATCHES "_sim_test$")
      set(label sim)
    elseif(stem MATCHES "_gui_test$")
      set(label gui)
    elseif(stem MATCHES "_e2e_test$")
      set(label e2e)
    endif()
    plumo_add_test(${prefix}_${stem} SOURCES ${source} LIBS ${D_LIBS} LABELS ${label}
                   ENV "PLUMO_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()
