# The Debian package kovrin_<version>_amd64.deb, made by the same `package` target as the
# portable archive:
#   /usr/lib/kovrin/        kovrin, kovrin-2.0, hht-sim
#   /usr/bin/               kovrin and kovrin-2.0 (launchers passing --folder /var/lib/kovrin),
#                           hht-sim (a link)
#   /usr/share/applications, /usr/share/icons/hicolor/scalable/apps: the menu entries, the icon
#   /usr/share/man/man1/    kovrin.1.gz (kovrin-2.0.1.gz links to it), hht-sim.1.gz
#   /usr/share/doc/kovrin/  README.md, hht-sim/ (manual and examples), copyright, changelog.gz
# The program folder /var/lib/kovrin is made by postinst and never removed.
#
# Its files are the install component "deb", left out of a plain install (EXCLUDE_FROM_ALL):
# the portable archive, a plain install of the program folder, stays as it is.

set(KOVRIN_DEB_MAINTAINER "Kovrin maintainers <maintainers@users.noreply.c-seed-abd886d5.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(deb_dir ${CMAKE_CURRENT_LIST_DIR})
set(deb_out ${CMAKE_BINARY_DIR}/deb)

foreach(program kovrin kovrin-2.0)
    set(PROGRAM ${program})
    configure_file(${deb_dir}/launcher.in ${deb_out}/bin/${program} @ONLY)
endforeach()
file(CREATE_LINK ../lib/kovrin/hht-sim ${deb_out}/bin/hht-sim SYMBOLIC)

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no time).
set(deb_gz)
foreach(page kovrin.1 hht-sim.1)
    configure_file(${deb_dir}/${page}.in ${deb_out}/${page} @ONLY)
    list(APPEND deb_gz ${deb_out}/man/${page}.gz)
endforeach()
configure_file(${deb_dir}/changelog.in ${deb_out}/changelog @ONLY)
list(APPEND deb_gz ${deb_out}/doc/changelog.gz)
foreach(gz IN LISTS deb_gz)
    get_filename_component(name ${gz} NAME_WLE)
    add_custom_command(OUTPUT ${gz}
        COMMAND gzip -9nc ${deb_out}/${name} > ${gz}
        DEPENDS ${deb_out}/${name}
        COMMENT "Compressing ${name} for the Debian package")
endforeach()
file(MAKE_DIRECTORY ${deb_out}/man ${deb_out}/doc)
file(CREATE_LINK kovrin.1.gz ${deb_out}/man/kovrin-2.0.1.gz SYMBOLIC)
add_custom_target(deb-files ALL DEPENDS ${deb_gz})

install(TARGETS kovrin kovrin-2.0 hht-sim RUNTIME DESTINATION lib/kovrin
        COMPONENT deb EXCLUDE_FROM_ALL)
install(PROGRAMS ${deb_out}/bin/kovrin ${deb_out}/bin/kovrin-2.0 DESTINATION bin
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_out}/bin/hht-sim DESTINATION bin COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_dir}/kovrin.desktop ${deb_dir}/kovrin-2.0.desktop
        DESTINATION share/applications COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES packaging/kovrin.svg DESTINATION share/icons/hicolor/scalable/apps
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_out}/man/kovrin.1.gz ${deb_out}/man/kovrin-2.0.1.gz
              ${deb_out}/man/hht-sim.1.gz
        DESTINATION share/man/man1 COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES README.md ${deb_dir}/copyright ${deb_out}/doc/changelog.gz
        DESTINATION share/doc/kovrin COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES tools/hht-sim/README.md DESTINATION share/doc/kovrin/hht-sim
        COMPONENT deb EXCLUDE_FROM_ALL)
install(DIRECTORY tools/hht-sim/examples DESTINATION share/doc/kovrin/hht-sim
        COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_PACKAGE_NAME kovrin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KOVRIN_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "interface between a bank branch PC and collection agents' hand-held terminals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kovrin Hand-Held Interface Software runs on the branch PC of a bank's
daily-deposit collection scheme. Each morning it imports the bank's account
file for a collection agent and sends it to the agent's hand-held terminal
over a serial cable; each evening it reads the day's collections back, matches
them to the accounts, stores them and writes the files that the bank's core
software posts.

Revisions 2.1 (kovrin) and 2.0 (kovrin-2.0, for terminals with older
firmware) share one program folder, /var/lib/kovrin, writable by the group
dialout. The terminal simulator hht-sim is included.")
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at run time it
# cannot see: the SQLite driver, the platform plugins, and the fonts of the reports.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_dir}/postinst ${deb_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Read by cpack for each generator: only the Debian package is stripped and installed
# under /usr.
set(CPACK_PROJECT_CONFIG_FILE ${deb_dir}/CPackOptions.cmake)
