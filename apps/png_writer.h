#ifndef KINDORA_APPS_PNG_WRITER_H
#define KINDORA_APPS_PNG_WRITER_H

// The tools write their frames with the shared picture writers.
#include "picture_writers.h"

#endif
