# The Debian package (`make deb`): CPack's DEB generator over the same install rules
# as `cmake --install`, plus what a desktop package carries besides the program: the
# manual page, PNG icons, the AppStream entry, and Debian's copyright, changelog and
# lintian overrides.
find_program(DV_PANDOC pandoc REQUIRED)
find_program(DV_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(DV_GZIP gzip REQUIRED)

set(DV_PACKAGE_NAME ${DV_EXECUTABLE_NAME})
set(DV_PACKAGE_MAINTAINER "${DV_COMPANY_NAME} <support@kelmaro.example>")
set(DV_SHORT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
# The AppStream id stays the same whatever web host a build is configured with.
set(DV_APPSTREAM_ID example.kelmaro.dorvantis)
set(dv_pkg_src ${PROJECT_SOURCE_DIR}/resources)
set(dv_pkg_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${dv_pkg_out})

# Manual page: Markdown through pandoc to roff, compressed as Debian wants it
# (-n keeps the name and time out, so the same sources give the same bytes).
configure_file(${dv_pkg_src}/dorvantis.1.md ${dv_pkg_out}/dorvantis.1.md @ONLY)
add_custom_command(OUTPUT ${dv_pkg_out}/dorvantis.1.gz
  COMMAND ${DV_PANDOC} --standalone --from markdown --to man ${dv_pkg_out}/dorvantis.1.md -o ${dv_pkg_out}/dorvantis.1
  COMMAND ${DV_GZIP} -9nf ${dv_pkg_out}/dorvantis.1
  DEPENDS ${dv_pkg_out}/dorvantis.1.md
  COMMENT "Manual page dorvantis.1"
  VERBATIM)

# Menus and software centres that cannot draw SVG pick these sizes.
set(dv_icon_pngs "")
foreach(size 48 256)
  set(png ${dv_pkg_out}/icons/${size}x${size}/dorvantis.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dv_pkg_out}/icons/${size}x${size}
    COMMAND ${DV_RSVG_CONVERT} --width ${size} --height ${size} --format png
            --output ${png} ${dv_pkg_src}/icons/dorvantis.svg
    DEPENDS ${dv_pkg_src}/icons/dorvantis.svg
    COMMENT "Icon ${size}x${size}"
    VERBATIM)
  list(APPEND dv_icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

configure_file(${dv_pkg_src}/dorvantis.metainfo.xml.in ${dv_pkg_out}/${DV_APPSTREAM_ID}.metainfo.xml @ONLY)

# Debian's machine-readable copyright file carries the license text indented, with
# "." for its blank lines.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE DV_LICENSE_TEXT)
string(STRIP "${DV_LICENSE_TEXT}" DV_LICENSE_TEXT)
string(REGEX REPLACE "\n\n" "\n.\n" DV_LICENSE_TEXT "${DV_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " DV_LICENSE_TEXT "${DV_LICENSE_TEXT}")
string(PREPEND DV_LICENSE_TEXT " ")
configure_file(${dv_pkg_src}/debian/copyright.in ${dv_pkg_out}/copyright @ONLY)
configure_file(${dv_pkg_src}/debian/changelog.in ${dv_pkg_out}/changelog @ONLY)
add_custom_command(OUTPUT ${dv_pkg_out}/changelog.gz
  COMMAND ${DV_GZIP} -9nc ${dv_pkg_out}/changelog > ${dv_pkg_out}/changelog.gz
  DEPENDS ${dv_pkg_out}/changelog
  VERBATIM)
add_custom_target(dv_package_files ALL
  DEPENDS ${dv_pkg_out}/dorvantis.1.gz ${dv_icon_pngs} ${dv_pkg_out}/changelog.gz)

# Relocations resolved at start-up, so the whole global offset table is read-only.
target_link_options(dorvantis PRIVATE LINKER:-z,now)

# A stripped executable for the package keeps no compiler version strings either.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
    \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/dorvantis/${DV_EXECUTABLE_NAME}
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${dv_pkg_out}/dorvantis.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${dv_pkg_out}/${DV_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Only the package carries Debian's own files; `cmake --install` leaves them out.
install(FILES ${dv_pkg_out}/copyright ${dv_pkg_out}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${DV_PACKAGE_NAME} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${dv_pkg_src}/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${DV_PACKAGE_NAME}
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${DV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR ${DV_COMPANY_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${DV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch printer for web pages and HTML files")
set(CPACK_PACKAGE_DESCRIPTION
  "Loads each page of a list (HTML files, web addresses) into an embedded browser
and prints it to the default printer with no dialog; failed pages are logged.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The program's files and Debian's own, in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DV_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${DORVANTIS_WEB_HOST}/")
# Libraries, the CUPS client library among them, come from the executable's links;
# fonts are named, for pages whose fonts are not installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# The world's pages print in the world's scripts: Noto covers nearly all of them,
# CJK apart. Recommended, not required, so a minimal system may go without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-core, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
