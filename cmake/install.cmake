# What installs where, and the packages cpack makes of it: a .deb and a .tar.gz on Linux, a .zip
# of the two programs and a plain-text manual on Windows.
include(GNUInstallDirs)
set(MANUAL_PAGES ${CMAKE_SOURCE_DIR}/man/sixjoin.1 ${CMAKE_SOURCE_DIR}/man/spkfix.1)

if(WIN32)
  # Windows has no man: both pages rendered as one text file with Windows line ends, where groff is.
  find_program(GROFF groff)
  install(TARGETS sixjoin spkfix RUNTIME DESTINATION .)
  if(GROFF)
    set(TEXT_MANUAL ${CMAKE_BINARY_DIR}/sixjoin-manual.txt)
    add_custom_command(OUTPUT ${TEXT_MANUAL}
      COMMAND sh -c "for page; do '${GROFF}' -t -man -Tutf8 -P-cbou \"$page\"; done | sed 's/$/\\r/' >'${TEXT_MANUAL}'"
              render ${MANUAL_PAGES}
      DEPENDS ${MANUAL_PAGES}
      VERBATIM)
    add_custom_target(text_manual ALL DEPENDS ${TEXT_MANUAL})
    install(FILES ${TEXT_MANUAL} DESTINATION .)
  else()
    message(STATUS "No groff: the package leaves out the text manual")
  endif()
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
else()
  # Debian policy: manual pages are installed gzipped.
  foreach(page ${MANUAL_PAGES})
    get_filename_component(name ${page} NAME)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh -c "gzip -9n <'${page}' >'${CMAKE_BINARY_DIR}/man/${name}.gz'"
      DEPENDS ${page}
      VERBATIM)
    list(APPEND GZIPPED_PAGES ${CMAKE_BINARY_DIR}/man/${name}.gz)
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${GZIPPED_PAGES})
  install(TARGETS sixjoin spkfix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${GZIPPED_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  set(CPACK_GENERATOR DEB TGZ)
endif()

set(SIXJOIN_CONTACT "The sixjoin developers <sixjoin@invalid>" CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_NAME sixjoin)
set(CPACK_PACKAGE_VENDOR "the sixjoin developers")
set(CPACK_PACKAGE_CONTACT ${SIXJOIN_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION "sixjoin turns the two stereo files of a four-channel field recording (front
pair, rear pair) into one six-channel 5.1 WAVE file in the extensible format,
copying the audio bit for bit; takes too long for a WAVE file become RF64.
spkfix sets, in place, the channel mask of an extensible WAVE file to the six
speakers of 5.1.")
include(CPack)
