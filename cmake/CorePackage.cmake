# The C++ package of the pure core: public headers, the static library and a
# CMake configuration, all in the `development` component. The wheel installs
# only the `python` component, so none of this ever lands in it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/quorvel_torso_kinematics")

# The public headers keep their src/ layout under include/quorvel, and
# consumers get include/ on their path: they write <quorvel/arm/...>, and no
# short name such as linalg/vector3.hpp can collide with another package's.
# The headers include each other relatively ("../linalg/vector3.hpp"), which
# resolves the same in src/ and in include/quorvel/. The file set is private
# (installing an exported one would put include/quorvel itself on the
# consumers' path), so its files are installed one by one.
get_target_property(_quorvel_public_headers quorvel_core HEADER_SET)
foreach(_header IN LISTS _quorvel_public_headers)
  file(RELATIVE_PATH _relative "${PROJECT_SOURCE_DIR}/src" "${_header}")
  get_filename_component(_subdir "${_relative}" DIRECTORY)
  install(FILES "${_header}" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quorvel/${_subdir}" COMPONENT development)
endforeach()
install(TARGETS quorvel_core EXPORT quorvel_torso_kinematicsTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
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
