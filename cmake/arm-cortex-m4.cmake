# Cross-compiling for a Cortex-M4F with Debian's gcc-arm-none-eabi and libnewlib-arm-none-eabi:
#   cmake -S mcu -B build/mcu -DCMAKE_TOOLCHAIN_FILE=cmake/arm-cortex-m4.cmake   (or: make mcu)
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
# A bare-metal target runs no test programs while configuring.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Single-precision FPU, hard-float calls, half-precision storage; no contraction into fused
# multiply-adds, so the arithmetic is the desktop's.
set(RYX_CPU_FLAGS "-mcpu=cortex-m4 -mthumb -mfpu=fpv4-sp-d16 -mfloat-abi=hard -mfp16-format=ieee")
set(CMAKE_C_FLAGS_INIT "${RYX_CPU_FLAGS} -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "${RYX_CPU_FLAGS} -ffp-contract=off -fno-exceptions -fno-rtti")
set(CMAKE_ASM_FLAGS_INIT "${RYX_CPU_FLAGS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
