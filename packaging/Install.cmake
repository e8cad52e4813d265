# What `cmake --install` puts under the prefix, and the Debian package CPack
# builds from it (scripts/package.sh).
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
# Manual pages and the changelog are installed compressed, as Debian expects.
set(YZ_COMPRESSED)
foreach(doc yanzhou.1 yanzhou-cli.1 yanzhou-server.1 changelog)
  add_custom_command(OUTPUT ${doc}.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${doc} > ${doc}.gz
    DEPENDS packaging/${doc} VERBATIM)
  list(APPEND YZ_COMPRESSED ${doc}.gz)
endforeach()
add_custom_target(manpage ALL DEPENDS ${YZ_COMPRESSED})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/yanzhou.1.gz ${CMAKE_CURRENT_BINARY_DIR}/yanzhou-cli.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/yanzhou-server.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/yanzhou)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME yanzhou)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "砚舟 <support@yanzhou.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "webmaster's tool for domains: indexed pages, backlinks, ranks")
set(CPACK_PACKAGE_DESCRIPTION "Type a domain and press 查询: the program asks search engines, rank
services, a whois service and a web archive about it at once and shows the
answers in three grids. yanzhou-cli runs the same queries from the command
line. yanzhou-server is the vendor's web service they talk to (version,
news, PageRank, trend pictures, suggestions), with a systemd unit.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE http://www.yanzhou.net/)
# Library dependencies come from dpkg-shlibdeps; the window also needs Qt's
# platform plugins and a font with Chinese characters, which no library names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-wqy-zenhei | fonts-noto-cjk | fonts-arphic-uming, libqt6sql6-sqlite")
# The service keeps its data in SQLite unless told to use PostgreSQL.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, postgresql")
set(CPACK_STRIP_FILES ON)
include(CPack)
