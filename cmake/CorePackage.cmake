# The C++ package of the pure core: public headers, the static library and a
# CMake configuration, all in the `development` component. The wheel installs
# only the `python` component, so none of this ever lands in it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/quorvel_torso_kinematics")
set(QUORVEL_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/quorvel_torso_kinematics")

# The headers keep their src/ layout under the include directory, so their own
# includes ("linalg/vector3.hpp") resolve as they do in the tree.
install(TARGETS quorvel_core EXPORT quorvel_torso_kinematicsTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development
  FILE_SET HEADERS DESTINATION "${QUORVEL_INSTALL_INCLUDEDIR}" COMPONENT development)
install(EXPORT quorvel_torso_kinematicsTargets
  NAMESPACE quorvel_torso_kinematics::
  DESTINATION "${QUORVEL_INSTALL_CMAKEDIR}"
  COMPONENT development)

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/quorvel_torso_kinematicsConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/quorvel_torso_kinematicsConfig.cmake"
  INSTALL_DESTINATION "${QUORVEL_INSTALL_CMAKEDIR}"
  NO_SET_AND_CHECK_MACRO)
# Before 1.0 a minor release may break the interface.
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/quorvel_torso_kinematicsConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/quorvel_torso_kinematicsConfig.cmake"
  "${PROJECT_BINARY_DIR}/quorvel_torso_kinematicsConfigVersion.cmake"
  DESTINATION "${QUORVEL_INSTALL_CMAKEDIR}"
  COMPONENT development)
