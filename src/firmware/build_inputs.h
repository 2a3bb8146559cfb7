// What a build carries from the unit's maker: the firmware image and the setup key, each a
// file given at build time or the project's sample. mq6 --version and the About box show
// these facts, so that a sample is never taken for the maker's.
#pragma once

#include <cstddef>

// Three lines, each ending in '\n': the carried firmware's version, then where the image and
// where the key came from. 0, or -1 when text (size bytes) cannot hold them whole.
int FormatBuildInputs(char* text, size_t size);
