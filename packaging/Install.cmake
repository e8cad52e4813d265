# What `cmake --install` puts under the prefix; the Debian package (debian/,
# scripts/package.sh) is made from it, adding the copyright, the changelog,
# the service's settings file and its maintainer scripts.
include(GNUInstallDirs)

set(YZ_APP_ID net.yanzhou.webmastertool)
install(TARGETS yanzhou yanzhou-cli yanzhou-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The service's unit, under the prefix: /usr/lib/systemd/system in the package.
install(FILES packaging/yanzhou-server.service DESTINATION lib/systemd/system)
install(FILES packaging/${YZ_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${YZ_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 128 256)
  install(FILES packaging/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${YZ_APP_ID}.png)
endforeach()
install(FILES packaging/icons/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${YZ_APP_ID}.svg)
# The vendor's public rules key (its secret half is kept offline, never in
# the repository): every client trusts it without a rebuild.
install(FILES packaging/rules-keys/yanzhou-vendor.pub DESTINATION ${CMAKE_INSTALL_DATADIR}/yanzhou/rules-keys)
# The rules for today's engines: a rules file for --rules, and what the
# vendor publishes.
install(FILES rules/current-engines.json DESTINATION ${CMAKE_INSTALL_DATADIR}/yanzhou/rules)
# Manual pages are installed compressed, as Debian expects.
set(YZ_COMPRESSED)
foreach(doc yanzhou.1 yanzhou-cli.1 yanzhou-server.1)
  add_custom_command(OUTPUT ${doc}.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${doc} > ${doc}.gz
    DEPENDS packaging/${doc} VERBATIM)
  list(APPEND YZ_COMPRESSED ${doc}.gz)
endforeach()
add_custom_target(manpage ALL DEPENDS ${YZ_COMPRESSED})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/yanzhou.1.gz ${CMAKE_CURRENT_BINARY_DIR}/yanzhou-cli.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/yanzhou-server.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
