// Scenes: one module per scene. Each exports an init routine (load time, no GL
// calls, runs on the loader thread) and the setup and render routines that the
// timeline table names (main thread, GL context current).
#pragma once

// Loading screen and opening (entries 0 to 3).
void Boot_Init(void);                   // main thread, before the loader: stops the clock, reads the picture

// Init routines of the other scenes, run by the loader in its fixed order.
void Mascot_Init(void);
void Drum_Init(void);
void Wall_Init(void);
void Gourd_Init(void);
void Marquee_Init(void);
void Spikes_Init(void);
void Column_Init(void);
void Finale_Init(void);
