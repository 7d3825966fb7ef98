// Alignment runs on the CPU. Left alone, OpenCV's first image call on a thread probes for
// OpenCL, which loads the system's OpenCL runtime and its drivers into the process: start-up
// time and foreign code for pictures of a few megapixels that gain nothing from a GPU. The
// choice is per thread in OpenCV, so every entry point that calls it makes it.
#pragma once

#include <opencv2/core/ocl.hpp>

inline void useCpuOnly()
{
    cv::ocl::setUseOpenCL(false);
}
