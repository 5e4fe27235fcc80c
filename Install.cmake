# What `cmake --install` puts where, and the Debian package made from it.

install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tarnwick_windows tarnwick_keyring LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tarnwick)

# Manual pages and the changelog go compressed, as Debian wants them; -n
# keeps the archive the same from build to build.
foreach(doc IN ITEMS docs/tarnwick.1 dist/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${doc} > ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/${doc} VERBATIM)
  list(APPEND compressed_docs ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(tarnwick_docs ALL DEPENDS ${compressed_docs})
install(FILES ${CMAKE_BINARY_DIR}/tarnwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz dist/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)

install(FILES dist/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/tarnwick.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  install(FILES resources/icons/tarnwick-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tarnwick.png)
endforeach()
# The outbox's flush as a systemd user timer; users enable it themselves.
install(FILES dist/tarnwick-flush.service dist/tarnwick-flush.timer
  DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/user)
install(FILES dist/tarnwick.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarnwick)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <dev@tarnwick.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line e-mail sender for scripts, cron and CI")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarnwick sends one e-mail message through an SMTP server from the command\n\
line, with defaults from a settings file, STARTTLS or implicit TLS, a run\n\
log, its own time-out and retries, and exit statuses that tell a script\n\
whether the message went out. Small windows set the defaults and send by\n\
hand where a display is available.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarnwick.example/mail")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows need a Qt platform plugin; a console-only machine does not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
