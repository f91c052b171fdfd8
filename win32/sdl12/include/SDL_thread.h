// SDL 1.2 kept its thread calls in a header of their own; here they are in SDL.h.
#include "SDL.h"
