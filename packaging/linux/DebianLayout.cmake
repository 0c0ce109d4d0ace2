# The installed layout of the Debian packages (KOVRIN_DEBIAN_LAYOUT, set by debian/rules; the
# prefix is /usr). debian/kovrin.install and debian/kovrin-sim.install share it out:
#   kovrin      /usr/lib/kovrin/kovrin, kovrin-2.0; /usr/bin/kovrin, kovrin-2.0 (launchers
#               passing --folder /var/lib/kovrin --log-folder /var/log/kovrin); menu entries,
#               AppStream metadata, icons, kovrin(1), the operator's guide
#   kovrin-sim  /usr/bin/hht-sim, hht-sim(1), its manual and example files
# The folders in /var come from debian/kovrin.tmpfiles, the log rotation from
# debian/kovrin.logrotate; debhelper compresses the manual pages and strips the programs.

include(GNUInstallDirs)
set(linux_dir ${CMAKE_CURRENT_LIST_DIR})
set(linux_out ${CMAKE_BINARY_DIR}/linux)

foreach(program kovrin kovrin-2.0)
    set(PROGRAM ${program})
    configure_file(${linux_dir}/launcher.in ${linux_out}/bin/${program} @ONLY)
endforeach()
foreach(page kovrin.1 hht-sim.1)
    configure_file(${linux_dir}/${page}.in ${linux_out}/${page} @ONLY)
endforeach()

install(TARGETS kovrin kovrin-2.0 RUNTIME DESTINATION lib/kovrin)
install(PROGRAMS ${linux_out}/bin/kovrin ${linux_out}/bin/kovrin-2.0 DESTINATION bin)
install(FILES ${linux_dir}/com.tamsel.Kovrin.desktop ${linux_dir}/com.tamsel.Kovrin20.desktop
        DESTINATION share/applications)
install(FILES ${linux_dir}/com.tamsel.Kovrin.metainfo.xml DESTINATION share/metainfo)
install(FILES packaging/kovrin.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 64 128 256)
    install(FILES packaging/icons/kovrin-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kovrin.png)
endforeach()
install(FILES ${linux_out}/kovrin.1 ${linux_out}/hht-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/operator-guide.md DESTINATION share/doc/kovrin)

install(TARGETS hht-sim RUNTIME DESTINATION bin)
install(FILES tools/hht-sim/README.md DESTINATION share/doc/kovrin-sim)
install(DIRECTORY tools/hht-sim/examples DESTINATION share/doc/kovrin-sim)
