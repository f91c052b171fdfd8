// The browser platform's own pieces, beside the player's sources.
#pragma once

// Fills the GL layer's table from the current WebGL 2 context; false, with
// a line on standard output naming what is missing, when it cannot.
bool Web_InitGL(void);
