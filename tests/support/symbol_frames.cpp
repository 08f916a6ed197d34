// PLACEHOLDER: the libzint renderer is implemented separately.
#include "support/symbol_frames.h"
