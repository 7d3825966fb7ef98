// The Vantorell library: everything under vantorell::api. Link Vantorell::vantorell (pkg-config
// vantorell); the Fade job and Align (video.h) are in Vantorell::vantorell-video.
#pragma once

#include "vantorell/version.h"
#include "vantorell/error.h"
#include "vantorell/image.h"
#include "vantorell/io.h"
#include "vantorell/mix.h"
#include "vantorell/gif.h"
#include "vantorell/job.h"
#include "vantorell/video.h"
