# Where everything goes on `cmake --install` (and so in the packages):
#   bin/quenlo, bin/cfgctl        the console and the scripting tool
#   sbin/cfgserver                the server
#   libexec/cfgserver/cfgserver-start
#                                 the service's ExecStart: the server with
#                                 every share/cfgserver/defaults/*.schema loaded
#                                 and every *.ini there imported
#   share/cfgserver/defaults/     the factory defaults and their schemas
#                                 (examples/*.ini, examples/*.schema)
#   share/man/man1, man8          quenlo(1), cfgctl(1), cfgserver(8)
#   lib/systemd/system/cfgserver.service
# Included by the top-level CMakeLists after every add_subdirectory, so that
# it sees which programs this tree builds.
include(GNUInstallDirs)

set(QUENLO_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
  "Where the systemd unit is installed, relative to the prefix")

set(quenlo_defaults_dir "${CMAKE_INSTALL_DATADIR}/cfgserver/defaults")
set(quenlo_start_dir "${CMAKE_INSTALL_LIBEXECDIR}/cfgserver")

install(TARGETS quenlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES doc/man/quenlo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# cfgctl is its own program; its rules apply once the tree builds it.
if(TARGET cfgctl)
  install(TARGETS cfgctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/man/cfgctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS cfgserver RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(FILES doc/man/cfgserver.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
file(GLOB quenlo_default_files "${PROJECT_SOURCE_DIR}/examples/*.ini" "${PROJECT_SOURCE_DIR}/examples/*.schema")
install(FILES ${quenlo_default_files} DESTINATION ${quenlo_defaults_dir})

# The start script finds the server and the defaults relative to itself.
file(RELATIVE_PATH QUENLO_START_TO_SERVER "/prefix/${quenlo_start_dir}" "/prefix/${CMAKE_INSTALL_SBINDIR}/cfgserver")
file(RELATIVE_PATH QUENLO_START_TO_DEFAULTS "/prefix/${quenlo_start_dir}" "/prefix/${quenlo_defaults_dir}")
configure_file(packaging/cfgserver-start.in ${PROJECT_BINARY_DIR}/packaging/cfgserver-start @ONLY)
install(PROGRAMS ${PROJECT_BINARY_DIR}/packaging/cfgserver-start DESTINATION ${quenlo_start_dir})

# The unit names absolute paths under the prefix, so it is written at
# install time: `cmake --install --prefix DIR` and the packages' /usr both get
# paths that exist. A server built without libsystemd cannot report
# readiness, so its unit waits only for the exec.
if(QUENLO_SERVER_NOTIFIES_READINESS)
  set(quenlo_service_type notify)
else()
  set(quenlo_service_type exec)
endif()
install(CODE "
  set(QUENLO_SERVICE_TYPE ${quenlo_service_type})
  set(QUENLO_START_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${quenlo_start_dir}/cfgserver-start\")
  set(QUENLO_DEFAULTS_DIR \"\${CMAKE_INSTALL_PREFIX}/${quenlo_defaults_dir}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/cfgserver.service.in\"
                 \"${PROJECT_BINARY_DIR}/packaging/cfgserver.service\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/packaging/cfgserver.service DESTINATION ${QUENLO_SYSTEMD_UNIT_DIR})
