# What `make install` and `cmake --install` put under the prefix, laid out as Debian does:
# the program, the manual page and the changelog gzipped, the bash, zsh and fish completions,
# and README, licence and changelog in the documentation folder.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# gzip -9n: the smallest file and no name or time stamp inside, so packages build reproducibly.
find_program(TCALC_GZIP gzip REQUIRED)
set(TCALC_GZIPPED)
foreach(file man/tcalc.1 CHANGELOG)
  cmake_path(GET file FILENAME name)
  string(TOLOWER ${name} name)
  set(copy ${PROJECT_BINARY_DIR}/gz/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${file} ${copy}
    COMMAND ${TCALC_GZIP} -9nf ${copy}
    DEPENDS ${PROJECT_SOURCE_DIR}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND TCALC_GZIPPED ${copy}.gz)
endforeach()
add_custom_target(tcalc_gzipped ALL DEPENDS ${TCALC_GZIPPED})

install(TARGETS tcalc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/gz/tcalc.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/tcalc DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES completion/_tcalc DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES completion/tcalc.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES README.md LICENSE ${PROJECT_BINARY_DIR}/gz/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
