// VANTORELL_API marks what libvantorell exports, VANTORELL_VIDEO_API what libvantorell-video
// exports; everything else in either library is hidden.
#pragma once

#if defined(VANTORELL_BUILDING_LIBRARY)
#define VANTORELL_API __attribute__((visibility("default")))
#else
#define VANTORELL_API
#endif

#if defined(VANTORELL_BUILDING_VIDEO_LIBRARY)
#define VANTORELL_VIDEO_API __attribute__((visibility("default")))
#else
#define VANTORELL_VIDEO_API
#endif
