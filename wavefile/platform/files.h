// What differs between Linux, macOS and Windows about files and folders, wrapped once, one
// notion a file: paths, streams, folders, replacing a file, file systems, uncached reading.
#pragma once

#include "wavefile/platform/file_system.h"
#include "wavefile/platform/folders.h"
#include "wavefile/platform/paths.h"
#include "wavefile/platform/replacing.h"
#include "wavefile/platform/streams.h"
#include "wavefile/platform/uncached.h"
