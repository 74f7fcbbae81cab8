# Installs the C and C++ package:
#   include/ryxsound/            the public headers
#   lib/libryxsound.so.1 (.so.1.0.0, .so), lib/libryxsound.a
#   lib/cmake/RyxSound/          RyxSoundConfig.cmake, its version file and the targets
#   lib/pkgconfig/ryxsound.pc
#   bin/ryxsound-cli             when built
# Every path is relative to the prefix, so `cmake --install BUILD --prefix P` may choose it late.
include(CMakePackageConfigHelpers)

set(ryx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/RyxSound)
set(ryx_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS ryxsound ryxsound_static EXPORT RyxSoundTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ryxsound DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT RyxSoundTargets NAMESPACE RyxSound:: DESTINATION ${ryx_cmake_dir})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/RyxSoundConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/RyxSoundConfig.cmake
                              INSTALL_DESTINATION ${ryx_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RyxSoundConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RyxSoundConfig.cmake
              ${PROJECT_BINARY_DIR}/RyxSoundConfigVersion.cmake
        DESTINATION ${ryx_cmake_dir})

# ryxsound.pc finds the prefix from its own place (pkg-config's ${pcfiledir}).
file(RELATIVE_PATH RYX_PC_TO_PREFIX /prefix/${ryx_pc_dir} /prefix)
string(REGEX REPLACE "/$" "" RYX_PC_TO_PREFIX "${RYX_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/ryxsound.pc.in ${PROJECT_BINARY_DIR}/ryxsound.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ryxsound.pc DESTINATION ${ryx_pc_dir})
