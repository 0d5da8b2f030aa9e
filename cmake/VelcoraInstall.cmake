# Installing like a Linux program: the three programs, the menu entry with its
# icon, manual pages and shell completion made from the programs' own help,
# the documents, and a Debian package through CPack.

# `cmake --install` installs what was built; building is the caller's step
# (make install / make package build the programs first), so that an install
# never builds the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VELCORA_PROGRAMS velcoractl velcora-robot-sim)
if(TARGET velcora)
  list(PREPEND VELCORA_PROGRAMS velcora)
endif()

# Manual pages and the completion script, generated from the built programs so
# that they never drift from them.
set(VELCORA_DOCS_DIR ${CMAKE_BINARY_DIR}/docs)
find_program(HELP2MAN help2man)
set(docs)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(names_velcora "operator console for a mobile service robot")
  set(names_velcoractl "command-line client of the Velcora robot console")
  set(names_velcora-robot-sim "simulated robot for the Velcora console")
  foreach(program IN LISTS VELCORA_PROGRAMS)
    set(page ${VELCORA_DOCS_DIR}/${program}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VELCORA_DOCS_DIR}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --section=1 "--name=${names_${program}}"
              --output=${page} $<TARGET_FILE:${program}>
      DEPENDS ${program}
      COMMENT "Manual page ${program}(1)")
    list(APPEND docs ${page})
  endforeach()
  install(FILES ${docs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual pages")
endif()
set(completion ${VELCORA_DOCS_DIR}/velcoractl.bash)
add_custom_command(OUTPUT ${completion}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELCORA_DOCS_DIR}
  COMMAND $<TARGET_FILE:velcoractl> completion bash > ${completion}
  DEPENDS velcoractl
  COMMENT "bash completion for velcoractl")
add_custom_target(velcora_docs ALL DEPENDS ${docs} ${completion})

install(TARGETS ${VELCORA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME velcoractl)
install(FILES ${PROJECT_SOURCE_DIR}/data/velcora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/velcora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/velcora-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME velcora.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/data/NOTICE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: its dependencies come from the libraries the programs
# link (dpkg-shlibdeps); only what is loaded at run time without linking is
# named here (the platform plugins and the fonts of the interface).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velcora)
set(CPACK_PACKAGE_VENDOR "The Velcora developers")
set(CPACK_PACKAGE_CONTACT "The Velcora developers <velcora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator console for a mobile service robot")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Velcora connects to one robot over TCP and works it live (video, two-way sound, driving), "
    "edits its maps, cyclograms and chat-bot scripts and manages its files. It comes with "
    "velcoractl, a command-line client, and velcora-robot-sim, a simulated robot.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# The codec and sound libraries are opened when first used, so the programs
# do not name them and the shared-library scan cannot see them: their
# packages are looked up here from the files the build found.
foreach(lib libavcodec.so libavutil.so libSDL2-2.0.so.0)
  find_library(_velcora_dep_${lib} NAMES ${lib})
  if(_velcora_dep_${lib})
    get_filename_component(_real "${_velcora_dep_${lib}}" REALPATH)
    execute_process(COMMAND dpkg-query -S "${_real}" OUTPUT_VARIABLE _owner
                    ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REGEX REPLACE ":.*" "" _owner "${_owner}")
    if(_owner)
      string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${_owner}")
    endif()
  endif()
endforeach()
include(CPack)
