// SilentUi lives in job/SilentUi.h. This old path stays until job/PreviewRender.cpp and
// tests/gif include the new one.
#pragma once

#include "job/SilentUi.h"
