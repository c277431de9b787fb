# The installer, kelvoran-<version>-windows-x64.exe in the build's top folder,
# made by makensis from data/windows/kelvoran.nsi when NSIS is installed. It
# carries the program stripped of its debugging symbols, and the help book.
find_program(KELVORAN_MAKENSIS makensis)
if(NOT KELVORAN_MAKENSIS OR NOT TARGET kelvoran_chm)
  return()
endif()
set(KELVORAN_INSTALLER "${PROJECT_BINARY_DIR}/kelvoran-${PROJECT_VERSION}-windows-x64.exe")
set(kelvoran_stripped "${CMAKE_CURRENT_BINARY_DIR}/installer/kelvoran.exe")
set(kelvoran_nsi "${PROJECT_SOURCE_DIR}/data/windows/kelvoran.nsi")
add_custom_command(
  OUTPUT "${KELVORAN_INSTALLER}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/installer"
  COMMAND "${CMAKE_STRIP}" -o "${kelvoran_stripped}" "$<TARGET_FILE:kelvoran>"
  COMMAND "${KELVORAN_MAKENSIS}" -V2 -DVERSION=${PROJECT_VERSION}
          "-DPROGRAM=${kelvoran_stripped}" "-DHELP=${KELVORAN_CHM}" "-DICON=${KELVORAN_ICO}"
          "-DOUTFILE=${KELVORAN_INSTALLER}" "${kelvoran_nsi}"
  # The help book by its file too: a target alone orders the build but does
  # not remake the installer when the book changes.
  DEPENDS kelvoran kelvoran_chm_beside_program "${KELVORAN_CHM}" "${kelvoran_nsi}" "${KELVORAN_ICO}"
  COMMENT "Making the installer"
  VERBATIM)
add_custom_target(kelvoran_installer ALL DEPENDS "${KELVORAN_INSTALLER}")
set(KELVORAN_INSTALLER "${KELVORAN_INSTALLER}" PARENT_SCOPE)
