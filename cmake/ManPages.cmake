# Manual pages made at build time by help2man from each program's own --help and --version, so
# the page and the program never disagree. Without help2man the pages are left out.
include(GNUInstallDirs)
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(STATUS "help2man not found: no manual pages")
endif()

# vantorell_man_page(PAGE DESCRIPTION TARGET [ARGS...]): man1/PAGE.1 from `TARGET ARGS --help`.
function(vantorell_man_page page description target)
  if(NOT HELP2MAN)
    return()
  endif()
  set(program $<TARGET_FILE:${target}>)
  if(ARGN)
    # help2man runs one executable; a subcommand gets a small script of its own.
    set(program ${CMAKE_CURRENT_BINARY_DIR}/${page})
    list(JOIN ARGN " " arguments)
    file(GENERATE OUTPUT ${program} CONTENT "#!/bin/sh\nexec '$<TARGET_FILE:${target}>' ${arguments} \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
  set(output ${PROJECT_BINARY_DIR}/man/man1/${page}.1)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man/man1
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${description}
            --version-string=${PROJECT_VERSION} --output=${output} ${program}
    DEPENDS ${target} VERBATIM)
  add_custom_target(${page}_man ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
