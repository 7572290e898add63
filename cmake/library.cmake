# The reading library as other CMake projects and pkg-config find it once installed:
#   find_package(Karvona) -> karvona::karvona;  pkg-config karvona
# It is the imaging, classifier and recognition layers (static archives) with the public headers
# of include/karvona; the layers' own headers stay in the source tree. Installed as the
# component "dev" (the Debian package libkarvona-dev).
include(CMakePackageConfigHelpers)

add_library(karvona_library INTERFACE)
target_link_libraries(karvona_library INTERFACE karvona_recognition)
set_target_properties(karvona_library PROPERTIES EXPORT_NAME karvona)
add_library(karvona::karvona ALIAS karvona_library)
set_target_properties(karvona_imaging PROPERTIES EXPORT_NAME imaging)
set_target_properties(karvona_classifier PROPERTIES EXPORT_NAME classifier)
set_target_properties(karvona_recognition PROPERTIES EXPORT_NAME recognition)

set(KARVONA_CMAKE_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Karvona)
install(TARGETS karvona_imaging karvona_classifier karvona_recognition karvona_library
        EXPORT KarvonaTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/karvona/karvona.hpp
              ${PROJECT_SOURCE_DIR}/include/karvona/read_code.hpp
              ${PROJECT_SOURCE_DIR}/include/karvona/reference_data.hpp
              ${PROJECT_SOURCE_DIR}/include/karvona/observers.hpp
              ${PROJECT_BINARY_DIR}/include/karvona/version.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/karvona COMPONENT dev)
install(EXPORT KarvonaTargets NAMESPACE karvona:: DESTINATION ${KARVONA_CMAKE_DESTINATION}
        COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KarvonaConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/KarvonaConfig.cmake
                              INSTALL_DESTINATION ${KARVONA_CMAKE_DESTINATION})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KarvonaConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KarvonaConfig.cmake
              ${PROJECT_BINARY_DIR}/KarvonaConfigVersion.cmake
        DESTINATION ${KARVONA_CMAKE_DESTINATION} COMPONENT dev)
configure_file(${PROJECT_SOURCE_DIR}/cmake/karvona.pc.in ${PROJECT_BINARY_DIR}/karvona.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/karvona.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)
