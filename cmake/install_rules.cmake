# What cmake --install and the packages put in place: the programs built here, their man
# pages (the version written into each footer at build time), the README and changelog, the
# example scripts and the Wireshark dissector.
#   Linux:   bin/, share/man/man1/*.1.gz, share/rqshell/{examples,wireshark}/,
#            share/doc/rqshell/ (README, changelogs, copyright)
#   Windows: the programs at the top, the pages as HTML in doc/, examples/ and wireshark/
#            beside them (the zip's layout)
include(GNUInstallDirs)
# The address the Debian package names as its maintainer.
set(RQ_MAINTAINER "rqshell developers <rqshell@example.org>")
if(WIN32)
  set(RQ_BIN_DIR .)
  set(RQ_DATA_DIR .)
  set(RQ_DOC_DIR .)
else()
  set(RQ_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  set(RQ_DATA_DIR ${CMAKE_INSTALL_DATADIR}/rqshell)
  set(RQ_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/rqshell)
endif()

# Modes set here, not taken from the checkout or the umask (which may leave files and
# folders group-writable).
set(RQ_READ_ONLY OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(RQ_RUNNABLE ${RQ_READ_ONLY} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${RQ_RUNNABLE})

find_program(RQ_GZIP gzip)
find_program(RQ_MANDOC mandoc)
set(RQ_MAN_DIR ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${RQ_MAN_DIR})
add_custom_target(man_pages ALL)

# The page doc/NAME.1 for installing: gzipped on Linux, as HTML (mandoc) for Windows.
function(rq_install_man_page name)
  set(source ${PROJECT_SOURCE_DIR}/doc/${name}.1)
  set(page ${RQ_MAN_DIR}/${name}.1)
  if(NOT EXISTS ${source})
    message(WARNING "doc/${name}.1 is missing: ${name} is installed without a man page")
    return()
  endif()
  set(args -DIN=${source} -DOUT=${page} -DVERSION=${PROJECT_VERSION})
  if(WIN32)
    if(NOT RQ_MANDOC)
      message(STATUS "mandoc not found: no HTML page for ${name} (Debian package mandoc)")
      return()
    endif()
    set(output ${RQ_MAN_DIR}/${name}.html)
    list(APPEND args -DMANDOC=${RQ_MANDOC} -DHTML=${output})
    install(FILES ${output} DESTINATION ${RQ_DOC_DIR}/doc)
  else()
    set(output ${page}.gz)
    list(APPEND args -DGZIP=${RQ_GZIP})
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  add_custom_command(OUTPUT ${output} ${page}
    COMMAND ${CMAKE_COMMAND} ${args} -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMENT "Man page ${name}.1, version ${PROJECT_VERSION}")
  add_custom_target(man_page_${name} DEPENDS ${output})
  add_dependencies(man_pages man_page_${name})
endfunction()

foreach(program rqshell rqtool rqsim rqmount)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${RQ_BIN_DIR})
    rq_install_man_page(${program})
  endif()
endforeach()

install(DIRECTORY examples/ DESTINATION ${RQ_DATA_DIR}/examples
        FILE_PERMISSIONS ${RQ_READ_ONLY} DIRECTORY_PERMISSIONS ${RQ_RUNNABLE}
        PATTERN "*.sh" PERMISSIONS ${RQ_RUNNABLE})
install(FILES contrib/wireshark/rq.lua contrib/wireshark/README.md
        DESTINATION ${RQ_DATA_DIR}/wireshark)

if(WIN32)
  install(FILES README.md CHANGELOG.md DESTINATION ${RQ_DOC_DIR})
else()
  # Debian's shape: the upstream changelog as changelog.gz, the package's own as
  # changelog.Debian.gz, and the copyright file.
  set(RQ_DEBIAN_REVISION 1)
  string(TIMESTAMP RQ_BUILD_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(cmake/packaging/changelog.Debian.in ${CMAKE_BINARY_DIR}/doc/changelog.Debian
                 @ONLY)
  foreach(pair "CHANGELOG.md|changelog" "${CMAKE_BINARY_DIR}/doc/changelog.Debian|changelog.Debian")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    get_filename_component(from ${from} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${to}.gz
      COMMAND ${RQ_GZIP} -9 -n -c ${from} > ${CMAKE_BINARY_DIR}/doc/${to}.gz
      DEPENDS ${from})
    list(APPEND RQ_DOC_FILES ${CMAKE_BINARY_DIR}/doc/${to}.gz)
  endforeach()
  add_custom_target(package_docs ALL DEPENDS ${RQ_DOC_FILES})
  install(FILES README.md cmake/packaging/copyright ${RQ_DOC_FILES} DESTINATION ${RQ_DOC_DIR})
endif()
