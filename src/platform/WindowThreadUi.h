// WindowThreadUi lives in job/WindowThreadUi.h. This old path stays until app/PreviewEngine.h
// includes the new one.
#pragma once

#include "job/WindowThreadUi.h"
