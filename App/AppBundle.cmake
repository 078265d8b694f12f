# The app's folder, laid out in the build tree (${CMAKE_BINARY_DIR}/App) the way it is installed
# (${prefix}/libexec/com.tarn.mac.utility.website.ntfs.HelperApp), since the app finds everything
# beside its own executable:
#   com.tarn.mac.utility.website.ntfs.HelperApp, ntfs-privileged-trampoline, ntfs-bless-helper
#   Library/LaunchServices/com.zel.ntfs.HelperTool   the helper that the bless step registers
#   Resources/                                       the driver scripts and the driver files
set(NTFS_APP_NAME com.tarn.mac.utility.website.ntfs.HelperApp)
set(NTFS_APP_BUILD_DIR ${CMAKE_BINARY_DIR}/App)
set(NTFS_APP_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/${NTFS_APP_NAME})
set(NTFS_HELPER_TARGET com.zel.ntfs.HelperTool)
set(NTFS_CARRIED_HELPER ${NTFS_APP_BUILD_DIR}/Library/LaunchServices/${NTFS_HELPER_TARGET})

# Resources/<path> from Resources/Scripts/<path> or Resources/Driver/<path>.
set(NTFS_APP_RUNNABLE_SCRIPTS Install-Kext.sh Install-Executables.sh Uninstall.sh Reload.sh)
set(NTFS_APP_SCRIPTS ${NTFS_APP_RUNNABLE_SCRIPTS} driver-common.sh)  # the last is sourced by the others
set(NTFS_APP_DRIVER_FILES
  tarn_ntfs.kext/README
  tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf
  tarn_ntfs.kext/Contents/Linux/tarn_ntfs-kctl.socket
  tarn_ntfs.kext/Contents/Linux/tarn_ntfs-kctl@.service
  tarn_ntfs.kext/Contents/Linux/tarn_ntfs.tmpfiles
  tarn_ntfs.fs/README
)
set(NTFS_APP_EXECUTABLE_RESOURCES ${NTFS_APP_RUNNABLE_SCRIPTS})

set(ntfs_bundle_outputs ${NTFS_CARRIED_HELPER})
foreach(kind IN ITEMS Scripts Driver)
  if(kind STREQUAL "Scripts")
    set(files ${NTFS_APP_SCRIPTS})
  else()
    set(files ${NTFS_APP_DRIVER_FILES})
  endif()
  foreach(file IN LISTS files)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/Resources/${kind}/${file})
    set(output ${NTFS_APP_BUILD_DIR}/Resources/${file})
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
      DEPENDS ${source}
      COMMENT "App resource ${file}")
    list(APPEND ntfs_bundle_outputs ${output})

    get_filename_component(subdir ${file} DIRECTORY)
    if(file IN_LIST NTFS_APP_EXECUTABLE_RESOURCES)
      install(PROGRAMS ${source} DESTINATION ${NTFS_APP_INSTALL_DIR}/Resources/${subdir})
    else()
      install(FILES ${source} DESTINATION ${NTFS_APP_INSTALL_DIR}/Resources/${subdir})
    endif()
  endforeach()
endforeach()

add_custom_command(OUTPUT ${NTFS_CARRIED_HELPER}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${NTFS_HELPER_TARGET}> ${NTFS_CARRIED_HELPER}
  DEPENDS ${NTFS_HELPER_TARGET}
  COMMENT "App carries the helper in Library/LaunchServices")
add_custom_target(ntfs_app_bundle ALL DEPENDS ${ntfs_bundle_outputs})
# The driver (its library and its program under each name) is built straight into Resources/
# (Driver/CMakeLists.txt).
add_dependencies(ntfs_app_bundle tarn_ntfs_programs)
install(TARGETS tarn_ntfs_driver LIBRARY DESTINATION ${NTFS_APP_INSTALL_DIR}/Resources)
foreach(name IN LISTS NTFS_DRIVER_PROGRAMS)
  get_filename_component(subdir ${name} DIRECTORY)
  get_filename_component(file ${name} NAME)
  install(PROGRAMS $<TARGET_FILE:tarn_ntfs> DESTINATION ${NTFS_APP_INSTALL_DIR}/Resources/${subdir} RENAME ${file})
endforeach()
add_dependencies(${NTFS_APP_NAME} ntfs_app_bundle)

install(TARGETS ${NTFS_APP_NAME} ntfs_privileged_trampoline RUNTIME DESTINATION ${NTFS_APP_INSTALL_DIR})
install(PROGRAMS $<TARGET_FILE:${NTFS_HELPER_TARGET}> DESTINATION ${NTFS_APP_INSTALL_DIR}/Library/LaunchServices)
# A launcher on PATH and a menu entry; the link is relative so that a staged tree can move.
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  message(STATUS \"Installing: \${bin}/${NTFS_APP_NAME} (link)\")
  file(CREATE_LINK \"../${NTFS_APP_INSTALL_DIR}/${NTFS_APP_NAME}\" \"\${bin}/${NTFS_APP_NAME}\" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin}/${NTFS_APP_NAME}\")
")
install(FILES ${NTFS_APP_NAME}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${NTFS_APP_NAME}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${NTFS_APP_NAME}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Everything that `cmake --install` lays out, for building just that (scripts/main-job.sh).
add_custom_target(ntfs_installable)
add_dependencies(ntfs_installable ${NTFS_APP_NAME} ntfs_app_bundle ntfs_privileged_trampoline
  ${NTFS_HELPER_TARGET} ntfs-helperctl)
if(TARGET ntfs-bless-helper)
  add_dependencies(ntfs_installable ntfs-bless-helper)
endif()
