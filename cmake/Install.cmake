# Installation and the Debian package. Only the two programs, the manual pages, the authors'
# reference, the TypeScript declarations and the bundled demo are installed: tests, benchmarks and
# the static libraries stay in the build tree.
include(GNUInstallDirs)

set(OVE_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/ove)
set(OVE_DATA_DIR ${CMAKE_INSTALL_DATAROOTDIR}/ove)

install(TARGETS ove ovetool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# install(DIRECTORY) lists the folder when installing, so pages added to docs/ later are picked
# up without configuring again.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${OVE_DOC_DIR}
  FILES_MATCHING PATTERN "*.md")
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${OVE_DOC_DIR})
# Declarations for editors and type checkers, kept beside the data rather than in the docs, which
# minimal systems may leave out.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${OVE_DATA_DIR}
  FILES_MATCHING PATTERN "*.d.ts")

# Manual pages, compressed as Debian expects when gzip is there.
find_program(OVE_GZIP gzip)
foreach(_page ove.6 ovetool.1)
  string(REGEX REPLACE ".*\\." "" _section ${_page})
  set(_src ${CMAKE_SOURCE_DIR}/man/${_page})
  if(OVE_GZIP)
    set(_out ${CMAKE_BINARY_DIR}/man/${_page}.gz)
    add_custom_command(OUTPUT ${_out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${OVE_GZIP} -9nc ${_src} > ${_out}
      DEPENDS ${_src}
      COMMENT "Compressing manual page ${_page}")
    list(APPEND _man_outputs ${_out})
  else()
    set(_out ${_src})
  endif()
  install(FILES ${_out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section})
endforeach()
if(_man_outputs)
  add_custom_target(man ALL DEPENDS ${_man_outputs})
endif()

# The demo's built data folder (made by the demo target) as a game to try at once:
# ove --game /usr/share/ove/demo
if(TARGET demo)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/samples/demo/DATA DESTINATION ${OVE_DATA_DIR}/demo OPTIONAL)
endif()

# The engine built for browsers (scripts/build-web.sh), where ovetool web looks for it. Checked at
# install time, as it is usually built after configuring; without it no empty folder is left.
set(OVE_WEB_ENGINE_DIR ${CMAKE_SOURCE_DIR}/build-web/ove-web CACHE PATH "Folder holding the web engine (ove.js, ove.wasm)")
install(CODE "
  if(EXISTS \"${OVE_WEB_ENGINE_DIR}/ove.js\" AND EXISTS \"${OVE_WEB_ENGINE_DIR}/ove.wasm\")
    file(INSTALL \"${OVE_WEB_ENGINE_DIR}/ove.js\" \"${OVE_WEB_ENGINE_DIR}/ove.wasm\"
      DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${OVE_DATA_DIR}/web\")
  endif()")

# cpack -G DEB
set(CPACK_PACKAGE_NAME ove)
set(CPACK_PACKAGE_VENDOR "OVE")
set(CPACK_PACKAGE_CONTACT "OVE maintainers <maintainers@users.noreply.c-seed-0da419aa.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "engine for scripted point-and-click adventure games")
set(CPACK_PACKAGE_DESCRIPTION
  "OVE runs 2D adventure games made of JavaScript scripts, backdrop pictures\n"
  "with walk, depth and hotspot masks, animated views, bitmap fonts, tile\n"
  "layers, images and sounds, from a folder or a packed GAME.DAT archive.\n"
  "The ovetool program builds those data files, imports Tiled maps and starts\n"
  "new games from a template. A small demo game is included.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# MIDI music needs a General MIDI sound font; the engine plays without one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont")
# SDL opens the GL and EGL libraries at run time, so no link records them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
find_program(OVE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(OVE_DPKG_SHLIBDEPS)
  # The libraries the programs are linked with, versioned by dpkg itself.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libsdl2-2.0-0, libsdl2-mixer-2.0-0, libturbojpeg0, "
    "zlib1g, libfreetype6, libstdc++6, libc6")
endif()
include(CPack)

# The package built from this tree, unpacked and run from where it landed.
if(OVE_TESTS)
  add_test(NAME packaging.deb
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/deb_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(packaging.deb PROPERTIES TIMEOUT 180 LABELS packaging SKIP_RETURN_CODE 77
    ENVIRONMENT "SDL_VIDEODRIVER=offscreen;SDL_AUDIODRIVER=dummy")
endif()
