# CPack: Debian packages and, for the target, a tarball of the staged install
# tree (usr/bin/quenlo ..., to unpack at the root of the target's file system).
# scripts/package.sh configures with CMAKE_INSTALL_PREFIX=/usr and runs cpack.
#   host build:  quenlo_<version>_<host arch>.deb, dependencies from
#                dpkg-shlibdeps (ACE, SQLite, libsystemd, nettle, the C++ runtime)
#   cross build: quenlo_<version>_powerpc.deb and quenlo-<version>-powerpc.tar.gz;
#                ACE, SQLite, PCRE2 and nettle are linked in statically there,
#                so the package needs only the C and C++ runtime
set(CPACK_PACKAGE_NAME quenlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "quenlo maintainers <maintainers@users.noreply.c-seed-0befdab9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console and configuration server for an embedded device")
set(CPACK_PACKAGE_DESCRIPTION
  "quenlo is the operator console of the device's configuration server; cfgserver keeps the configuration in SQLite and serves it over a UNIX-domain socket, started by cfgserver.service with the defaults in /usr/share/cfgserver/defaults.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Install into a staging DESTDIR with the real prefix, so the tarball's unit
# names /usr/... and not the staging folder.
set(CPACK_SET_DESTDIR ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(CMAKE_CROSSCOMPILING)
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_PACKAGE_FILE_NAME "quenlo-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR}")
  # dpkg-shlibdeps cannot see the target's libraries; these are the target
  # programs' NEEDED entries (libc.so.6, libm.so.6, libstdc++.so.6,
  # libgcc_s.so.1) at the versions of the cross toolchain.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.36), libgcc-s1 (>= 12), libstdc++6 (>= 12)")
else()
  set(CPACK_GENERATOR "DEB")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
