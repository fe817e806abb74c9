# OpenCV's core and imgproc: the draw library's shape rasteriser, the
# differential tests and the benchmarks. Debian's libopencv-core-dev and
# libopencv-imgproc-dev ship no CMake package file, so the headers and
# libraries are found directly. Defines the target cx_opencv when found.
if(NOT TARGET cx_opencv)
  find_path(CX_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
  find_library(CX_OPENCV_CORE_LIBRARY opencv_core)
  find_library(CX_OPENCV_IMGPROC_LIBRARY opencv_imgproc)
  if(CX_OPENCV_INCLUDE_DIR AND CX_OPENCV_CORE_LIBRARY AND CX_OPENCV_IMGPROC_LIBRARY)
    add_library(cx_opencv INTERFACE IMPORTED GLOBAL)
    target_include_directories(cx_opencv SYSTEM INTERFACE ${CX_OPENCV_INCLUDE_DIR})
    target_link_libraries(cx_opencv INTERFACE ${CX_OPENCV_IMGPROC_LIBRARY} ${CX_OPENCV_CORE_LIBRARY})
  endif()
endif()
