# Installation and the Debian package. Everything the tool loads or opens by its own folder lies
# in one private folder; the two commands reach it through symlinks on the PATH, which the
# programs resolve back to that folder (/proc/self/exe), so the stubs, codec libraries and guide
# are found beside the real executable.
set(PELISTO_TOOL_DIR lib/pelisto-maker)
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(stage ${CMAKE_BINARY_DIR}/packaging)

# The codec libraries are opened by full path, so nothing installed needs a run path, and they are
# no libraries for the dynamic linker (no soname, no ldconfig in the package scripts).
set_target_properties(pelisto-maker pelisto-build crde2000 isp2000 PROPERTIES INSTALL_RPATH "")
set_target_properties(crde2000 isp2000 PROPERTIES NO_SONAME ON)

install(TARGETS pelisto-maker pelisto-build RUNTIME DESTINATION ${PELISTO_TOOL_DIR})
install(TARGETS crde2000 isp2000 LIBRARY DESTINATION ${PELISTO_TOOL_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/TheExe.run DESTINATION ${PELISTO_TOOL_DIR})
if(PELISTO_WINDOWS_STUB)
  # Data for the slideshows, not a program of this system: no execute bit.
  install(FILES ${CMAKE_BINARY_DIR}/bin/TheExe.exe DESTINATION ${PELISTO_TOOL_DIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/user-guide.html DESTINATION ${PELISTO_TOOL_DIR})

file(MAKE_DIRECTORY ${stage})
foreach(program pelisto-maker pelisto-build)
  file(CREATE_LINK ../${PELISTO_TOOL_DIR}/${program} ${stage}/${program} SYMBOLIC)
  install(FILES ${stage}/${program} DESTINATION bin)
endforeach()

install(FILES ${pkg}/pelisto-maker.desktop DESTINATION share/applications)
install(FILES ${pkg}/pelisto-maker.png DESTINATION share/icons/hicolor/128x128/apps)
install(FILES ${pkg}/org.pelisto.maker.metainfo.xml DESTINATION share/metainfo)

# Debian wants compressed, reproducible manual pages and changelogs (gzip -n: no name or time).
foreach(doc pelisto-maker.1 pelisto-build.1 changelog)
  add_custom_command(OUTPUT ${stage}/${doc}.gz
                     COMMAND gzip -9nc ${pkg}/${doc} > ${stage}/${doc}.gz
                     DEPENDS ${pkg}/${doc} VERBATIM)
endforeach()
add_custom_target(pelisto_packaging_docs ALL
                  DEPENDS ${stage}/pelisto-maker.1.gz ${stage}/pelisto-build.1.gz
                          ${stage}/changelog.gz)
install(FILES ${stage}/pelisto-maker.1.gz ${stage}/pelisto-build.1.gz DESTINATION share/man/man1)
install(FILES ${pkg}/copyright ${stage}/changelog.gz DESTINATION share/doc/pelisto-maker)
install(FILES ${pkg}/lintian-overrides DESTINATION share/lintian/overrides RENAME pelisto-maker)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelisto-maker)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT
    "Pelisto maker maintainers <maintainers@users.noreply.c-seed-f6caa75a.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Signing Windows slideshows runs osslsigncode when it is installed.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS osslsigncode)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns a list of pictures into a self-running slideshow")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pelisto maker takes an ordered list of pictures (WMF, BMP, ICO, PCX, TIF, GIF,\n\
JPG, PNG, PCD, TGA) and writes one slideshow program that plays them full\n\
screen on Windows or on a Linux desktop with X11. Every picture is re-encoded\n\
as JPEG at a chosen quality. The command pelisto-build makes the same\n\
slideshows from scripts.")
set(CPACK_PACKAGE_VENDOR "Pelisto maker maintainers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
