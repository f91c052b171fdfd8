// Scenes: one module per scene. Each exports an init routine (load time, no GL
// calls, runs on the loader thread) and the setup and render routines that the
// timeline table names (main thread, GL context current).
#pragma once

// Loading screen and opening (entries 0 to 3).
enum { BOOT_FIRST_WAVE = 150 };
extern const unsigned char boot_first_wave[BOOT_FIRST_WAVE][2];   // (column, row) of the tiles that sink first
void Boot_Init(void);                   // main thread, before the loader: stops the clock, reads the picture
void Boot_SetupLoading(void);           // entry 0: GL state, picture list, the two marks
void Boot_RenderLoading(void);          // entry 0: picture and one mark per progress flag
void Boot_SetupOpening(void);           // entry 1: haze and column lists; starts the music
void Boot_RenderFirstWave(void);        // entry 1: first wave sinks
void Boot_RenderSecondWave(void);       // entry 2: second wave sinks
void Boot_SetupBars(void);              // entry 3: pixel-space projection
void Boot_RenderBars(void);             // entry 3: black bars close in

// Init routines of the other scenes, run by the loader in its fixed order.
void Mascot_Init(void);
void Drum_Init(void);
void Wall_Init(void);
void Gourd_Init(void);
void Marquee_Init(void);
void Spikes_Init(void);
void Column_Init(void);
void Finale_Init(void);
