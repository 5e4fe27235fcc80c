# What `cmake --install` puts where, and the Debian packages made from it:
# tarnwick (component main) and tarnwick-mta (component mta), which makes
# the program the system's sendmail.

set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME main)

install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tarnwick_windows tarnwick_keyring tarnwick_http LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tarnwick)

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

# The sendmail names. They take over the machine's mail, so a plain
# `cmake --install` leaves them out; `--component mta` or the package puts
# them in. Links are relative, so the tree works wherever it is unpacked.
set(mta_links ${CMAKE_BINARY_DIR}/mta-links)
function(mta_link dir name target)
  file(MAKE_DIRECTORY ${mta_links}/${dir})
  file(CREATE_LINK ${target} ${mta_links}/${dir}/${name} SYMBOLIC)
  install(FILES ${mta_links}/${dir}/${name} DESTINATION ${dir} COMPONENT mta EXCLUDE_FROM_ALL)
endfunction()
file(RELATIVE_PATH sbin_to_bin ${CMAKE_INSTALL_FULL_SBINDIR} ${CMAKE_INSTALL_FULL_BINDIR})
file(RELATIVE_PATH lib_to_sbin ${CMAKE_INSTALL_PREFIX}/lib ${CMAKE_INSTALL_FULL_SBINDIR})
mta_link(${CMAKE_INSTALL_SBINDIR} sendmail ${sbin_to_bin}/tarnwick)
mta_link(${CMAKE_INSTALL_SBINDIR} newaliases ${sbin_to_bin}/tarnwick)
mta_link(${CMAKE_INSTALL_BINDIR} mailq tarnwick)
mta_link(lib sendmail ${lib_to_sbin}/sendmail)
# One manual page tells all of them.
mta_link(${CMAKE_INSTALL_MANDIR}/man8 sendmail.8.gz ../man1/tarnwick.1.gz)
mta_link(${CMAKE_INSTALL_MANDIR}/man8 newaliases.8.gz ../man1/tarnwick.1.gz)
mta_link(${CMAKE_INSTALL_MANDIR}/man1 mailq.1.gz tarnwick.1.gz)
# The administrator's settings and aliases: commented templates, kept
# across upgrades as conffiles.
install(FILES dist/mta/Tarnwick.ini dist/mta/aliases
  DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tarnwick COMPONENT mta EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz dist/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick-mta COMPONENT mta EXCLUDE_FROM_ALL)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/mta-control/conffiles CONTENT
  "${CMAKE_INSTALL_FULL_SYSCONFDIR}/tarnwick/Tarnwick.ini\n${CMAKE_INSTALL_FULL_SYSCONFDIR}/tarnwick/aliases\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <dev@tarnwick.example>")
# Each package's description starts with its own synopsis; a shared
# summary would be put in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main mta)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarnwick.example/mail")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME tarnwick)
set(CPACK_DEBIAN_MAIN_DESCRIPTION "command-line e-mail sender for scripts, cron and CI\n\
Tarnwick sends one e-mail message through an SMTP server from the command\n\
line, with defaults from a settings file, STARTTLS or implicit TLS, a run\n\
log, its own time-out and retries, and exit statuses that tell a script\n\
whether the message went out. Small windows set the defaults and send by\n\
hand where a display is available.")
set(CPACK_DEBIAN_MAIN_PACKAGE_SHLIBDEPS ON)
# The windows need a Qt platform plugin; a console-only machine does not.
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")

set(CPACK_DEBIAN_MTA_PACKAGE_NAME tarnwick-mta)
set(CPACK_DEBIAN_MTA_DESCRIPTION "Tarnwick as the system's sendmail\n\
Links /usr/sbin/sendmail, /usr/lib/sendmail, mailq and newaliases to\n\
Tarnwick, so that cron, PHP's mail(), mail(1) and daemons send their mail\n\
through an SMTP server with Tarnwick's settings, secret stores, time-out,\n\
retries and outbox. Local names such as root are mapped through\n\
/etc/tarnwick/aliases; the machine's defaults are in\n\
/etc/tarnwick/Tarnwick.ini.")
# Links and text only.
set(CPACK_DEBIAN_MTA_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_MTA_DEPENDS main)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Only one program can be /usr/sbin/sendmail.
set(CPACK_DEBIAN_MTA_PACKAGE_PROVIDES mail-transport-agent)
set(CPACK_DEBIAN_MTA_PACKAGE_CONFLICTS mail-transport-agent)
set(CPACK_DEBIAN_MTA_PACKAGE_REPLACES mail-transport-agent)
set(CPACK_DEBIAN_MTA_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/mta-control/conffiles)
include(CPack)
